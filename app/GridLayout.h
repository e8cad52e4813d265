#pragma once

#include "query/ResultSheet.h"

#include <QTableWidget>

#include <utility>
#include <vector>

namespace yz {

// Gives a grid its rows and columns of centred, read-only cells, the given
// column widths (column, twips) and an even share of the rest for the other
// columns, with rows sized so that every cell shows without scrolling. A grid
// partly covered by another control shares only its first `shownWidth`
// pixels (its whole width when negative), so no column ends under the cover.
void prepareGrid(QTableWidget *grid, Grid which, const std::vector<std::pair<int, int>> &widths, int shownWidth = -1);

} // namespace yz
