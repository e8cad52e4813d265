#include "parsers/RankParsers.h"

#include "parsers/PrefixAnchoredPattern.h"

namespace yz {
namespace {

// A rank rule's value; `absent` when the page holds none, or unrecognised
// with the reason when the pattern gave up on the page.
Scraped readOr(const RuleMatch &match, const QString &absent)
{
    if (match.text)
        return Scraped::ok(*match.text);
    return match.gaveUp ? Scraped::unrecognised(absent, patternGaveUpReason()) : Scraped::none(absent);
}

} // namespace

Scraped scrapeSnapshotDate(const QString &html, const QString &domain, const RankRules &rules)
{
    return readOr(rules.read(RankValue::Snapshot, html, domain), QStringLiteral("No"));
}

Scraped scrapePageRank(const QString &html, const RankRules &rules)
{
    return readOr(rules.read(RankValue::PageRank, html), QStringLiteral("0"));
}

Scraped scrapeAlexaRank(const QString &html, const RankRules &rules)
{
    return readOr(rules.read(RankValue::Alexa, html), QStringLiteral("0"));
}

Scraped scrapeSogouRank(const QString &html, const RankRules &rules)
{
    const RuleMatch rank = rules.read(RankValue::SogouRank, html);
    if (rank.text)
        return Scraped::ok(*rank.text);
    if (indexOfIgnoringCase(html, u"您是不是想") >= 0)
        return Scraped::none(QStringLiteral("0"));
    if (html.contains(u"搜狗为防止被某些程序恶意搜索抓取页面"))
        return Scraped::refused(QStringLiteral("频"));
    return Scraped::unrecognised(QStringLiteral("X"), rank.gaveUp ? patternGaveUpReason() : QString());
}

} // namespace yz
