#include "parsers/RankParsers.h"

#include "parsers/PrefixAnchoredPattern.h"

#include <QRegularExpression>

namespace yz {

QString scrapeSnapshotDate(const QString &html, const QString &domain, const RankRules &rules)
{
    return rules.read(RankValue::Snapshot, html, domain).value_or(QStringLiteral("No"));
}

QString scrapePageRank(const QString &html, const RankRules &rules)
{
    return rules.read(RankValue::PageRank, html).value_or(QStringLiteral("0"));
}

QString scrapeAlexaRank(const QString &html, const RankRules &rules)
{
    return rules.read(RankValue::Alexa, html).value_or(QStringLiteral("0"));
}

QString scrapeSogouRank(const QString &html, const RankRules &rules)
{
    if (const std::optional<QString> rank = rules.read(RankValue::SogouRank, html))
        return *rank;
    if (indexOfIgnoringCase(html, u"您是不是想") >= 0)
        return QStringLiteral("0");
    if (html.contains(u"搜狗为防止被某些程序恶意搜索抓取页面"))
        return QStringLiteral("频");
    return QStringLiteral("X");
}

} // namespace yz
