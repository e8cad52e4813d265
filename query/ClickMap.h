#pragma once

#include "query/QueryEngine.h"
#include "query/ResultSheet.h"

#include <QString>

namespace yz {

// The page a result cell's value came from, rebuilt from the cell and the
// domain text as it is now: the address of the query that fills the cell,
// except the PageRank cell, which opens the vendor's page for the domain.
// Empty for headings and for cells no query fills. Asked of the engine, so
// that a row the rules in force re-point opens the page it asks.
QString clickAddress(Grid grid, int row, int col, const QueryEngine &engine, const QString &domain);

} // namespace yz
