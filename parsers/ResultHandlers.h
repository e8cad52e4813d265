#pragma once

namespace yz {

class QueryEngine;

// Adds the result-page handlers (counts, snapshot, PageRank, Alexa,
// SogouRank) to the engine's handler table; each writes its cell of the
// engine's result sheet.
void addResultHandlers(QueryEngine &engine);

} // namespace yz
