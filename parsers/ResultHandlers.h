#pragma once

#include "net/PageAnswer.h"
#include "parsers/CountParsers.h"
#include "parsers/RulesFile.h"
#include "query/QueryTable.h"
#include "query/Scraped.h"

#include <optional>

namespace yz {

class QueryEngine;

// Adds the result-page handlers to the engine's handler table: counts,
// snapshot, PageRank, Alexa and SogouRank each write their cell of the
// engine's result sheet; the whois and archive handlers write the engine's
// domain-information texts. Every value is read with `rules`, which must
// outlive the engine.
void addResultHandlers(QueryEngine &engine, const ScrapeRules &rules = ScrapeRules::builtIn());

// Makes the engine ask and show what the rules say: the rows' address
// templates and charsets, the services' addresses and the headings' labels.
void useRules(QueryEngine &engine, const ScrapeRules &rules);

// What a page row's answer reads as under `rules`: the text its handler
// writes into its cell or label, with its cause. `domain` is the domain the snapshot date is
// looked for under. The first PageRank request reads as the address it
// gives; the second one is the row of kPageRankHandler.
Scraped scrapeRowAnswer(const QString &handler, const ScrapeRules &rules, const PageAnswer &answer,
                        const QString &domain);

// The engine whose count rules a scraper reads with, if it reads a count.
std::optional<Engine> countEngine(Scraper scraper);

} // namespace yz
