#pragma once

#include "query/ResultSheet.h"

#include <QTableWidget>

#include <utility>
#include <vector>

namespace yz {

// Gives a grid its rows and columns of centred, read-only cells, the given
// column widths (column, twips) and an even share of the rest for the other
// columns, with rows sized so that every cell shows without scrolling.
void prepareGrid(QTableWidget *grid, Grid which, const std::vector<std::pair<int, int>> &widths);

} // namespace yz
