#pragma once

#include "query/CellStatus.h"
#include "services/ServiceHosts.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <array>

namespace yz {

// The three result grids: tb1 indexed pages and backlinks, tb2 ranks, tb3
// recent indexing. Row 0 and column 0 hold headings.
enum class Grid { Tb1, Tb2, Tb3 };
inline constexpr int kGridCount = 3;

// A heading text per service; an empty one keeps the built-in heading.
using ServiceLabels = std::array<QString, kServiceCount>;

struct GridShape {
    int rows;
    int cols;
};

// The texts of every cell of the three grids, headings included. Both front
// ends show this sheet: the window mirrors every write into its grids, the
// command line prints it.
class ResultSheet : public QObject {
    Q_OBJECT
public:
    explicit ResultSheet(QObject *parent = nullptr);

    static GridShape shape(Grid grid);
    static QString gridName(Grid grid); // "tb1", "tb2", "tb3"

    QString cell(Grid grid, int row, int col) const;

    // Writes one value cell; the column comes first, as in tb1setvalue.
    // Cells outside the grid are ignored.
    void setValue(Grid grid, int col, int row, const QString &value);

    // Why a value cell holds its value (set by the handlers and the dispatcher).
    CellStatus status(Grid grid, int row, int col) const;
    void setStatus(Grid grid, int col, int row, const CellStatus &status);

    // The headings that name a service show its label (its built-in text
    // where the label is empty): the rules in force may re-point a column
    // to another service.
    void setLabels(const ServiceLabels &labels);
    // The built-in heading a service's label replaces; empty for a service
    // that heads no column or row.
    static QString builtInLabel(Service service);

    // Every value cell back to empty, headings kept.
    void clearValues();

Q_SIGNALS:
    void cellChanged(yz::Grid grid, int row, int col, const QString &text);
    void statusChanged(yz::Grid grid, int row, int col, const yz::CellStatus &status);

private:
    std::array<QVector<QStringList>, kGridCount> m_cells; // [grid][row][col]
    std::array<QVector<QVector<CellStatus>>, kGridCount> m_status; // [grid][row][col]
};

} // namespace yz
