#pragma once

namespace yz {

class QueryEngine;

// Adds the result-page handlers to the engine's handler table: counts,
// snapshot, PageRank, Alexa and SogouRank each write their cell of the
// engine's result sheet; the whois and archive handlers write the engine's
// domain-information texts.
void addResultHandlers(QueryEngine &engine);

} // namespace yz
