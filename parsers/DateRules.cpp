#include "parsers/DateRules.h"

#include "parsers/PrefixAnchoredPattern.h"

namespace yz {
namespace {

// In DateValue order.
constexpr const char16_t *kBuiltIn[] = {
        u"(?:regist|creat)[a-z\\s\\t ]+:[\\s\\t ]{0,}([0-9]{1,4})\\-([a-z0-9]{1,4})\\-([0-9]{1,4})",
        u"expir[a-z\\s\\t ]+:[\\s\\t ]{0,}([0-9]{1,4})\\-([a-z0-9]{1,4})\\-([0-9]{1,4})",
        u"<a[^>]+>([a-z]{3}) (\\d{2}), (\\d{4})<\\/a>",
};
constexpr DateOrder kBuiltInOrder[] = {DateOrder::Auto, DateOrder::Auto, DateOrder::MonthDayYear};
static_assert(std::size(kBuiltIn) == kDateValueCount && std::size(kBuiltInOrder) == kDateValueCount);

constexpr const char16_t *kOrderNames[] = {u"auto", u"ymd", u"dmy", u"mdy"};

// What "[a-z\s\t ]" takes in a lower-cased page, ignoring case as PCRE2 does.
bool isLetterOrBlank(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || u == u' ' || u == u'\t' || u == u'\n' || u == u'\r' || u == u'\v' || u == u'\f'
            || u == 0x017F || u == 0x212A;
}

// The first match of "stem[a-z\s\t ]+" followed by `tail` (which starts with
// the ":"), in linear time: every stem inside one run of letters and blanks
// reaches the same ":", so each run is looked at once.
QRegularExpressionMatch stemRunTail(const QString &text, const QRegularExpression &stem, const QRegularExpression &tail)
{
    const QRegularExpression::MatchOptions unchecked = repeatedMatchOptions(text);
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

const QRegularExpression &whoisTail()
{
    static const QRegularExpression date(QStringLiteral(":[\\s\\t ]{0,}([0-9]{1,4})\\-([a-z0-9]{1,4})\\-([0-9]{1,4})"),
                                         kPageOptions);
    return date;
}

// The first archive link "<a …>mmm dd, yyyy</a>". "<a[^>]+>" ends at the
// first ">" after the "<a": every "<a" before that ">" shares it, so each tag
// is looked at once.
QRegularExpressionMatch archiveLink(const QString &page)
{
    static const QRegularExpression link(QStringLiteral(">([a-z]{3}) (\\d{2}), (\\d{4})<\\/a>"), kPageOptions);
    constexpr qsizetype kLinkLength = 17; // ">mmm dd, yyyy</a>"
    qsizetype from = 0;
    for (;;) {
        // The page is lower-cased, and no other character matches "a" ignoring case.
        const qsizetype open = page.indexOf(u"<a", from);
        const qsizetype close = open < 0 ? -1 : page.indexOf(u'>', open + 2);
        if (close < 0)
            return link.match(QString());
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
            if (m.hasMatch())
                return m;
        }
        from = close;
    }
}

QRegularExpressionMatch builtInScan(DateValue value, const QString &page)
{
    static const QRegularExpression registered(QStringLiteral("(regist|creat)"), kPageOptions);
    static const QRegularExpression expires(QStringLiteral("expir"), kPageOptions);
    switch (value) {
    case DateValue::WhoisRegistered:
        return stemRunTail(page, registered, whoisTail());
    case DateValue::WhoisExpires:
        return stemRunTail(page, expires, whoisTail());
    case DateValue::FirstArchive:
        return archiveLink(page);
    }
    return {};
}

QString arranged(const QRegularExpressionMatch &m, DateOrder order)
{
    QString first = m.captured(1);
    QString second = m.captured(2);
    QString third = m.captured(3);
    switch (order) {
    case DateOrder::Auto:
        // A first field of one or two characters is the day: the year is last.
        return first.size() > 2 ? first + u'-' + monthNumber(second) + u'-' + third
                                : third + u'-' + monthNumber(second) + u'-' + first;
    case DateOrder::YearMonthDay:
        return first + u'-' + monthNumber(second) + u'-' + third;
    case DateOrder::DayMonthYear:
        return third + u'-' + monthNumber(second) + u'-' + first;
    case DateOrder::MonthDayYear:
        return third + u'-' + monthNumber(first) + u'-' + second;
    }
    return {};
}

} // namespace

QString dateOrderName(DateOrder order)
{
    return QString::fromUtf16(kOrderNames[int(order)]);
}

std::optional<DateOrder> dateOrderNamed(const QString &name)
{
    for (int i = 0; i < int(std::size(kOrderNames)); ++i)
        if (name == QStringView(kOrderNames[i]))
            return DateOrder(i);
    return std::nullopt;
}

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

CompiledDateRule DateRules::builtInEntry(DateValue value)
{
    const DateRule rule = builtInRule(value);
    return {rule, QRegularExpression(rule.pattern, kPageOptions), true};
}

DateRule DateRules::builtInRule(DateValue value)
{
    return {QString::fromUtf16(kBuiltIn[size_t(value)]), kBuiltInOrder[size_t(value)]};
}

bool DateRules::replace(DateValue value, const DateRule &rule, RuleFault *fault)
{
    std::optional<QRegularExpression> re = compilePagePattern(rule.pattern, 3, fault);
    if (!re) {
        // The groups are the pattern's: a date rule has no group field.
        if (fault->field == u"group")
            *fault = {QStringLiteral("pattern"), QStringLiteral("日期的模式要有三个捕获组（年、月、日）")};
        return false;
    }
    CompiledDateRule &c = entry(value);
    c.rule = rule;
    c.pattern = *re;
    c.builtInScan = rule.pattern == QStringView(kBuiltIn[size_t(value)]);
    return true;
}

std::optional<QString> DateRules::read(DateValue value, const QString &lowerPage, bool *gaveUp) const
{
    const CompiledDateRule &c = entry(value);
    const QRegularExpressionMatch m = c.builtInScan ? builtInScan(value, lowerPage) : c.pattern.match(lowerPage);
    *gaveUp = !m.isValid();
    if (!m.hasMatch())
        return std::nullopt;
    return arranged(m, c.rule.order);
}

} // namespace yz
