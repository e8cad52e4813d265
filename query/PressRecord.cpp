#include "query/PressRecord.h"

namespace yz {
namespace {

// The groups that fill a value, with their stored names.
struct NamedGroup {
    bool PressGroups::*member;
    const char16_t *name;
};
constexpr NamedGroup kNamedGroups[] = {{&PressGroups::common, u"common"},
                                       {&PressGroups::rank, u"rank"},
                                       {&PressGroups::recent, u"recent"},
                                       {&PressGroups::info, u"info"}};

} // namespace

bool PressGroups::ranGrid(Grid grid) const
{
    switch (grid) {
    case Grid::Tb1:
        return common;
    case Grid::Tb2:
        return rank;
    case Grid::Tb3:
        return recent;
    }
    return false;
}

QString PressGroups::names() const
{
    QStringList list;
    for (const NamedGroup &g : kNamedGroups)
        if (this->*g.member)
            list.append(QString::fromUtf16(g.name));
    return list.join(u',');
}

PressGroups PressGroups::fromNames(const QString &names)
{
    PressGroups groups;
    const QStringList list = names.split(u',');
    for (const NamedGroup &g : kNamedGroups)
        groups.*g.member = list.contains(QString::fromUtf16(g.name));
    return groups;
}

QString gridCellName(int valueRows, const QString &rowHeading, const QString &columnHeading)
{
    return valueRows == 1 ? columnHeading : rowHeading + u'/' + columnHeading;
}

QString gridCellKey(Grid grid, const QString &name)
{
    return ResultSheet::gridName(grid) + u'/' + name;
}

QList<GridCell> PressRecord::gridCells() const
{
    QList<GridCell> cells;
    for (int g = 0; g < kGridCount; ++g) {
        const QList<QStringList> &grid = grids[size_t(g)];
        const QStringList &headings = grid.value(0);
        for (qsizetype r = 1; r < grid.size(); ++r)
            for (qsizetype c = 1; c < headings.size(); ++c)
                cells.append({Grid(g), gridCellName(int(grid.size() - 1), grid[r].value(0), headings[c]),
                              grid[r].value(c), statuses[size_t(g)].value(r).value(c)});
    }
    return cells;
}

QList<RecordedCell> PressRecord::measuredCells() const
{
    QList<RecordedCell> cells;
    for (const GridCell &cell : gridCells())
        if (groups.ranGrid(cell.grid))
            cells.append({gridCellKey(cell.grid, cell.name), cell.value, cell.status});
    if (groups.info) {
        cells.append({kWhoisKey, info[size_t(InfoText::WhoisDates)], infoStatuses[size_t(InfoText::WhoisDates)]});
        cells.append({kArchiveKey, info[size_t(InfoText::ArchiveDate)], infoStatuses[size_t(InfoText::ArchiveDate)]});
    }
    return cells;
}

} // namespace yz
