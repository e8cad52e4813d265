#include "parsers/DomainAgeParsers.h"

#include "parsers/LowerCase.h"
#include "parsers/PrefixAnchoredPattern.h"

#include <QRegularExpression>

namespace yz {
namespace {

// What "[a-z\s\t ]" takes in a lower-cased page, ignoring case as PCRE2 does.
bool isLetterOrBlank(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || u == u' ' || u == u'\t' || u == u'\n' || u == u'\r' || u == u'\v' || u == u'\f'
            || u == 0x017F || u == 0x212A;
}

// The first match of "stem[a-z\s\t ]+" followed by `tail` (which starts with
// the ":"), in linear time: every stem inside one run of letters and blanks
// reaches the same ":", so each run is looked at once. `unchecked` are the
// repeated-match options for the text (see repeatedMatchOptions).
QRegularExpressionMatch stemRunTail(const QString &text, const QRegularExpression &stem, const QRegularExpression &tail,
                                    QRegularExpression::MatchOptions unchecked)
{
    qsizetype from = 0;
    for (;;) {
        const QRegularExpressionMatch s = stem.match(text, from, QRegularExpression::NormalMatch, unchecked);
        if (!s.hasMatch())
            return s;
        qsizetype end = s.capturedEnd();
        while (end < text.size() && isLetterOrBlank(text.at(end)))
            ++end;
        if (end > s.capturedEnd() && end < text.size()) {
            const QRegularExpressionMatch t = tail.match(text, end, QRegularExpression::NormalMatch,
                                                         unchecked | QRegularExpression::AnchorAtOffsetMatchOption);
            if (t.hasMatch())
                return t;
        }
        from = std::max(end, s.capturedStart() + 1);
    }
}

QString assemble(const QRegularExpressionMatch &m)
{
    if (!m.hasMatch())
        return QStringLiteral("Unknown");
    const QString a = m.captured(1);
    QString month = m.captured(2);
    const QString b = m.captured(3);
    monthNumber(month);
    // A first field of one or two characters is the day: the year is last.
    return a.size() > 2 ? a + u'-' + month + u'-' + b : b + u'-' + month + u'-' + a;
}

} // namespace

QString monthNumber(QString &value)
{
    static const char16_t *const kMonths[][2] = {
            {u"jan", u"01"}, {u"feb", u"02"}, {u"mar", u"03"}, {u"apr", u"04"}, {u"may", u"05"}, {u"jun", u"06"},
            {u"jul", u"07"}, {u"aug", u"08"}, {u"sep", u"09"}, {u"oct", u"10"}, {u"nov", u"11"}, {u"dec", u"12"},
    };
    value = value.toLower();
    for (const auto &month : kMonths)
        value.replace(QString::fromUtf16(month[0]), QString::fromUtf16(month[1]));
    return value;
}

QString scrapeWhoisDates(const QString &html)
{
    static const QRegularExpression registered(QStringLiteral("(regist|creat)"), kPageOptions);
    static const QRegularExpression expires(QStringLiteral("expir"), kPageOptions);
    static const QRegularExpression date(QStringLiteral(":[\\s\\t ]{0,}([0-9]{1,4})\\-([a-z0-9]{1,4})\\-([0-9]{1,4})"),
                                         kPageOptions);
    const QString page = lowerCasedPage(html);
    const QRegularExpression::MatchOptions unchecked = repeatedMatchOptions(page);
    return assemble(stemRunTail(page, registered, date, unchecked)) + QStringLiteral("至")
            + assemble(stemRunTail(page, expires, date, unchecked));
}

QString scrapeFirstArchiveDate(const QString &html)
{
    // "<a[^>]+>" ends at the first ">" after the "<a": every "<a" before that
    // ">" shares it, so each tag is looked at once.
    static const QRegularExpression link(QStringLiteral(">([a-z]{3}) (\\d{2}), (\\d{4})<\\/a>"), kPageOptions);
    constexpr qsizetype kLinkLength = 17; // ">mmm dd, yyyy</a>"
    const QString page = lowerCasedPage(html);
    qsizetype from = 0;
    for (;;) {
        // The page is lower-cased, and no other character matches "a" ignoring case.
        const qsizetype open = page.indexOf(u"<a", from);
        if (open < 0)
            return QStringLiteral("NotMatch");
        const qsizetype close = page.indexOf(u'>', open + 2);
        if (close < 0)
            return QStringLiteral("NotMatch");
        // Cheap look at the fixed characters first: most tags are no date link.
        const auto at = [&](qsizetype i) { return close + i < page.size() ? page.at(close + i) : QChar(); };
        if (close > open + 2 && at(4) == u' ' && at(7) == u',' && at(13) == u'<') {
            // The pattern's matches are exactly kLinkLength characters long, so
            // it is matched against those alone: handing the regular-expression
            // engine the rest of a long page at every tag costs time in
            // proportion to the page.
            const QRegularExpressionMatch m =
                    link.match(QStringView(page).mid(close, kLinkLength), 0, QRegularExpression::NormalMatch,
                               QRegularExpression::AnchorAtOffsetMatchOption);
            if (m.hasMatch()) {
                QString month = m.captured(1);
                return m.captured(3) + u'-' + monthNumber(month) + u'-' + m.captured(2);
            }
        }
        from = close;
    }
}

} // namespace yz
