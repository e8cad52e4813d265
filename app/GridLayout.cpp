#include "app/GridLayout.h"

#include "app/Twips.h"

#include <QHeaderView>

#include <algorithm>

namespace yz {

void prepareGrid(QTableWidget *grid, Grid which, const std::vector<std::pair<int, int>> &widths, int shownWidth)
{
    const GridShape shape = ResultSheet::shape(which);
    grid->setRowCount(shape.rows);
    grid->setColumnCount(shape.cols);
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setWordWrap(false);
    grid->horizontalHeader()->setMinimumSectionSize(0);
    grid->verticalHeader()->setMinimumSectionSize(0);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);

    for (int r = 0; r < shape.rows; ++r) {
        for (int c = 0; c < shape.cols; ++c) {
            auto *item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignCenter);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            grid->setItem(r, c, item);
        }
    }

    const int frame = 2 * grid->frameWidth();
    const int innerWidth = (shownWidth >= 0 ? std::min(shownWidth, grid->width()) : grid->width()) - frame;
    const int innerHeight = grid->height() - frame;

    int fixedWidth = 0;
    std::vector<bool> fixed(size_t(shape.cols), false);
    for (const auto &[col, tw] : widths) {
        grid->setColumnWidth(col, twips::toPixels(tw));
        fixedWidth += twips::toPixels(tw);
        fixed[size_t(col)] = true;
    }
    const int freeCount = int(std::count(fixed.begin(), fixed.end(), false));
    if (freeCount > 0) {
        const int share = (innerWidth - fixedWidth) / freeCount;
        int extra = (innerWidth - fixedWidth) - share * freeCount;
        for (int c = 0; c < shape.cols; ++c) {
            if (fixed[size_t(c)])
                continue;
            grid->setColumnWidth(c, share + (extra > 0 ? 1 : 0));
            if (extra > 0)
                --extra;
        }
    }
    {
        for (const auto &[col, tw] : widths)
            grid->setColumnHidden(col, tw == 0);
    }

    const int rowHeight = innerHeight / shape.rows;
    int rest = innerHeight - rowHeight * shape.rows;
    for (int r = 0; r < shape.rows; ++r) {
        grid->setRowHeight(r, rowHeight + (rest > 0 ? 1 : 0));
        if (rest > 0)
            --rest;
    }
}

} // namespace yz
