#include "query/ResultSheet.h"

namespace yz {
namespace {

// A heading cell and the service whose label, when the rules in force give
// one, replaces its text (Service::Count: a heading no label changes).
struct Heading {
    Grid grid;
    int row;
    int col;
    const char16_t *text;
    Service labelled;
};

constexpr Service kNoLabel = Service::Count;
constexpr Heading kHeadings[] = {
        {Grid::Tb1, 1, 0, u"收录", kNoLabel},          {Grid::Tb1, 2, 0, u"外链", kNoLabel},
        {Grid::Tb1, 0, 1, u"Baidu", Service::Baidu},   {Grid::Tb1, 0, 2, u"Google", Service::Google},
        {Grid::Tb1, 0, 3, u"Yahoo", Service::Yahoo},   {Grid::Tb1, 0, 4, u"Sogou", Service::Sogou},
        {Grid::Tb1, 0, 5, u"Youdao", Service::Youdao}, {Grid::Tb1, 0, 6, u"Soso", Service::Soso},
        {Grid::Tb2, 0, 1, u"百度快照", kNoLabel},      {Grid::Tb2, 0, 2, u"PR", Service::Vendor},
        {Grid::Tb2, 0, 3, u"Alexa", Service::Alexa},   {Grid::Tb2, 0, 4, u"SogouRank", kNoLabel},
        {Grid::Tb3, 1, 0, u"Baidu", Service::Baidu},   {Grid::Tb3, 2, 0, u"Google", Service::Google},
        {Grid::Tb3, 0, 1, u"一天内", kNoLabel},        {Grid::Tb3, 0, 2, u"一周内", kNoLabel},
        {Grid::Tb3, 0, 3, u"一月内", kNoLabel},
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

void ResultSheet::setLabels(const ServiceLabels &labels)
{
    for (const Heading &h : kHeadings) {
        if (h.labelled == kNoLabel)
            continue;
        const QString &label = labels[size_t(h.labelled)];
        const QString text = label.isEmpty() ? QString::fromUtf16(h.text) : label;
        QString &cell = m_cells[int(h.grid)][h.row][h.col];
        if (cell == text)
            continue;
        cell = text;
        Q_EMIT cellChanged(h.grid, h.row, h.col, text);
    }
}

QString ResultSheet::builtInLabel(Service service)
{
    for (const Heading &h : kHeadings)
        if (h.labelled == service)
            return QString::fromUtf16(h.text);
    return QString();
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
