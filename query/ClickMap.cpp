#include "query/ClickMap.h"

#include "query/QueryTable.h"
#include "services/VendorPaths.h"

namespace yz {
namespace {

// Cells whose page is not the page of the query that fills them.
struct ClickOverride {
    CellRef cell;
    Service service;
    const char16_t *before;
};

constexpr ClickOverride kOverrides[] = {
        // The PageRank comes from a chained request; the vendor's page explains it.
        {{Grid::Tb2, 1, 2}, Service::Vendor, vendor::kPageRankPage},
};

bool same(const CellRef &a, Grid grid, int row, int col)
{
    return a.grid == grid && a.row == row && a.col == col;
}

} // namespace

QString clickAddress(Grid grid, int row, int col, const QueryEngine &engine, const QString &domain)
{
    for (const ClickOverride &o : kOverrides)
        if (same(o.cell, grid, row, col))
            return engine.hosts().base(o.service) + QString::fromUtf16(o.before) + domain;
    const QueryRow *r = findRowForCell(grid, row, col);
    return r ? engine.rowAddress(*r, domain) : QString();
}

} // namespace yz
