#pragma once

#include "query/ResultSheet.h"
#include "services/ServiceHosts.h"

#include <QString>

namespace yz {

// The page a result cell's value came from, rebuilt from the cell and the
// domain text as it is now: the address of the query that fills the cell,
// except the PageRank cell, which opens the vendor's page for the domain.
// Empty for headings and for cells no query fills.
QString clickAddress(Grid grid, int row, int col, const ServiceHosts &hosts, const QString &domain);

} // namespace yz
