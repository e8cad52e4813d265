#include "query/ResultSheet.h"

namespace yz {
namespace {

struct Heading {
    Grid grid;
    int row;
    int col;
    const char16_t *text;
};

constexpr Heading kHeadings[] = {
        {Grid::Tb1, 1, 0, u"收录"},   {Grid::Tb1, 2, 0, u"外链"},   {Grid::Tb1, 0, 1, u"Baidu"},
        {Grid::Tb1, 0, 2, u"Google"}, {Grid::Tb1, 0, 3, u"Yahoo"},  {Grid::Tb1, 0, 4, u"Sogou"},
        {Grid::Tb1, 0, 5, u"Youdao"}, {Grid::Tb1, 0, 6, u"Soso"},   {Grid::Tb2, 0, 1, u"百度快照"},
        {Grid::Tb2, 0, 2, u"PR"},     {Grid::Tb2, 0, 3, u"Alexa"},  {Grid::Tb2, 0, 4, u"SogouRank"},
        {Grid::Tb3, 1, 0, u"Baidu"},  {Grid::Tb3, 2, 0, u"Google"}, {Grid::Tb3, 0, 1, u"一天内"},
        {Grid::Tb3, 0, 2, u"一周内"}, {Grid::Tb3, 0, 3, u"一月内"},
};

constexpr GridShape kShapes[kGridCount] = {{3, 7}, {2, 5}, {3, 4}};

} // namespace

ResultSheet::ResultSheet(QObject *parent)
    : QObject(parent)
{
    for (int g = 0; g < kGridCount; ++g) {
        const GridShape s = kShapes[g];
        m_cells[g] = QVector<QStringList>(s.rows, QStringList(QList<QString>(s.cols)));
    }
    for (const Heading &h : kHeadings)
        m_cells[int(h.grid)][h.row][h.col] = QString::fromUtf16(h.text);
}

GridShape ResultSheet::shape(Grid grid)
{
    return kShapes[int(grid)];
}

QString ResultSheet::gridName(Grid grid)
{
    return QStringLiteral("tb%1").arg(int(grid) + 1);
}

QString ResultSheet::cell(Grid grid, int row, int col) const
{
    const GridShape s = kShapes[int(grid)];
    if (row < 0 || col < 0 || row >= s.rows || col >= s.cols)
        return QString();
    return m_cells[int(grid)][row][col];
}

void ResultSheet::setValue(Grid grid, int col, int row, const QString &value)
{
    const GridShape s = kShapes[int(grid)];
    if (row < 0 || col < 0 || row >= s.rows || col >= s.cols)
        return;
    m_cells[int(grid)][row][col] = value;
    Q_EMIT cellChanged(grid, row, col, value);
}

CellStatus ResultSheet::status(Grid grid, int row, int col) const
{
    const GridShape s = kShapes[int(grid)];
    if (row < 0 || col < 0 || row >= s.rows || col >= s.cols || m_status[int(grid)].isEmpty())
        return {};
    return m_status[int(grid)][row][col];
}

void ResultSheet::setStatus(Grid grid, int col, int row, const CellStatus &status)
{
    const GridShape s = kShapes[int(grid)];
    if (row < 0 || col < 0 || row >= s.rows || col >= s.cols)
        return;
    QVector<QVector<CellStatus>> &cells = m_status[int(grid)];
    if (cells.isEmpty())
        cells = QVector<QVector<CellStatus>>(s.rows, QVector<CellStatus>(s.cols));
    cells[row][col] = status;
    Q_EMIT statusChanged(grid, row, col, status);
}

void ResultSheet::clearValues()
{
    for (auto &grid : m_status)
        grid.clear();
    for (int g = 0; g < kGridCount; ++g) {
        const GridShape s = kShapes[g];
        for (int r = 1; r < s.rows; ++r)
            for (int c = 1; c < s.cols; ++c)
                setValue(Grid(g), c, r, QString());
    }
}

} // namespace yz
