#pragma once

#include "parsers/RankRules.h"
#include "query/Scraped.h"

#include <QString>

namespace yz {

// The date of Baidu's snapshot of the site's root page: the result line of
// `domain` followed directly by "/", a size such as 12K, and the date as the
// page shows it; "No" when there is none. Every pattern character of the
// domain text is escaped, so what the user types is matched literally.
Scraped scrapeSnapshotDate(const QString &html, const QString &domain, const RankRules &rules = RankRules::builtIn());

// The PageRank from a "Rank_1:1:6" line (any case); "0" when there is none.
// Each rank is read with its rule of `rules`.
Scraped scrapePageRank(const QString &html, const RankRules &rules = RankRules::builtIn());

// The Alexa rank with its commas deleted; "0" when the page holds none.
Scraped scrapeAlexaRank(const QString &html, const RankRules &rules = RankRules::builtIn());

// The SogouRank digits before "/100"; "0" for Sogou's did-you-mean page, "频"
// for its anti-robot page, "X" for anything else.
Scraped scrapeSogouRank(const QString &html, const RankRules &rules = RankRules::builtIn());

} // namespace yz
