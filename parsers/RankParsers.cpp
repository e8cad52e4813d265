#include "parsers/RankParsers.h"

#include "parsers/PrefixAnchoredPattern.h"

#include <QRegularExpression>

namespace yz {
namespace {

QString firstGroupOr(const QRegularExpression &re, const QString &text, const QString &otherwise)
{
    const QRegularExpressionMatch m = re.match(text);
    return m.hasMatch() ? m.captured(1) : otherwise;
}

} // namespace

QString scrapeSnapshotDate(const QString &html, const QString &domain)
{
    const QRegularExpression re(QRegularExpression::escape(domain)
                                        + QStringLiteral("\\/[\\s\\t ]+\\d+K[\\s\\t ]+(\\d{4}\\-\\d{1,2}\\-\\d{1,2})"),
                                kPageOptions);
    return firstGroupOr(re, html, QStringLiteral("No"));
}

QString scrapePageRank(const QString &html)
{
    static const QRegularExpression re(QStringLiteral("rank_\\d:\\d:(\\d{1,2})"), kPageOptions);
    return firstGroupOr(re, html, QStringLiteral("0"));
}

QString scrapeAlexaRank(const QString &html)
{
    static const QRegularExpression re(QStringLiteral("<div class=\"[^\"]*\"><img src=[^>]+>([\\d, ]+?)<\\/a>"),
                                       kPageOptions);
    QString value = firstGroupOr(re, html, QString());
    if (value.isNull())
        return QStringLiteral("0");
    value.remove(u',');
    return value;
}

QString scrapeSogouRank(const QString &html)
{
    static const QRegularExpression re(QStringLiteral(":(\\d+)\\/100"), kPageOptions);
    const QRegularExpressionMatch m = re.match(html);
    if (m.hasMatch())
        return m.captured(1);
    if (indexOfIgnoringCase(html, u"您是不是想") >= 0)
        return QStringLiteral("0");
    if (html.contains(u"搜狗为防止被某些程序恶意搜索抓取页面"))
        return QStringLiteral("频");
    return QStringLiteral("X");
}

} // namespace yz
