#include "cli/Resume.h"

#include "query/QueryTable.h"
#include "results/ValueComparison.h"

namespace yz::cli {
namespace {

// The stored key of a grid cell, by the grids' headings.
QString keyOf(const ResultSheet &sheet, Grid grid, int row, int col)
{
    return gridCellKey(grid,
                       gridCellName(ResultSheet::shape(grid).rows - 1, sheet.cell(grid, row, 0),
                                    sheet.cell(grid, 0, col)));
}

CellStatus statusNamed(const QString &name)
{
    CellStatus status;
    using C = CellStatus::Cause;
    for (const C cause : {C::Ok, C::None, C::Refused, C::Unrecognised, C::Failed, C::Waiting}) {
        status.cause = cause;
        if (status.name() == name)
            return status;
    }
    status.cause = C::Empty;
    return status;
}

} // namespace

std::optional<ResumePlan> resumePlan(ResultStore &store, const QString &domain, const PressGroups &groups,
                                     const ServiceLabels &labels, QString *error)
{
    const QDateTime midnight(QDate::currentDate(), QTime(0, 0));
    std::optional<StoredRun> stored = store.latestRun(domain, groups, midnight, error);
    if (!stored)
        return std::nullopt;
    ResumePlan plan;
    plan.stored = *stored;
    plan.labels = labels;
    for (const StoredCell &cell : stored->cells)
        if (measuredBy(cell.status) == Measured::Failure)
            plan.keys.insert(cell.key);
    ResultSheet sheet;
    sheet.setLabels(labels);
    for (const QueryRow &row : gridQueryRows())
        if (plan.keys.contains(keyOf(sheet, row.target.grid, row.target.row, row.target.col)))
            plan.handlers.insert(QString::fromUtf16(row.handler));
    // The domain information's two requests go together.
    if (plan.keys.contains(kWhoisKey) || plan.keys.contains(kArchiveKey)) {
        plan.keys << kWhoisKey << kArchiveKey;
        for (const QueryRow &row : labelQueryRows())
            if (row.group == Group::Info)
                plan.handlers.insert(QString::fromUtf16(row.handler));
    }
    return plan;
}

std::optional<ResumeSelection> selectForResume(ResultStore &store, const QStringList &domains,
                                               const PressGroups &groups, const ServiceLabels &labels, QString *error)
{
    ResumeSelection selection;
    for (const QString &domain : domains) {
        std::optional<ResumePlan> plan = resumePlan(store, domain, groups, labels, error);
        if (!plan && !error->isEmpty())
            return std::nullopt;
        if (plan && plan->complete()) {
            ++selection.skipped;
            continue;
        }
        if (plan)
            selection.plans.insert(domain, *plan);
        selection.toRun.append(domain);
    }
    return selection;
}

QHash<QString, QSet<QString>> ResumeSelection::onlyRows() const
{
    QHash<QString, QSet<QString>> rows;
    for (auto it = plans.cbegin(); it != plans.cend(); ++it)
        rows.insert(it.key(), it->handlers);
    return rows;
}

void mergeStored(DomainResult &result, const ResumePlan &plan)
{
    ResultSheet sheet;
    sheet.setLabels(plan.labels);
    for (int g = 0; g < kGridCount; ++g) {
        const GridShape shape = ResultSheet::shape(Grid(g));
        for (int r = 1; r < shape.rows; ++r)
            for (int c = 1; c < shape.cols; ++c) {
                const QString key = keyOf(sheet, Grid(g), r, c);
                const StoredCell *cell = plan.keys.contains(key) ? nullptr : plan.stored.cell(key);
                if (!cell)
                    continue;
                result.grids[size_t(g)][r][c] = cell->value;
                result.statuses[size_t(g)][r][c] = statusNamed(cell->status);
            }
    }
    for (const auto &[key, which] :
         {std::pair{kWhoisKey, InfoText::WhoisDates}, std::pair{kArchiveKey, InfoText::ArchiveDate}}) {
        if (const StoredCell *cell = plan.keys.contains(key) ? nullptr : plan.stored.cell(key)) {
            result.info[size_t(which)] = cell->value;
            result.infoStatuses[size_t(which)] = statusNamed(cell->status);
        }
    }
}

QList<RecordedCell> askedAgain(const DomainResult &result, const ResumePlan &plan)
{
    QList<RecordedCell> cells;
    for (const RecordedCell &cell : result.measuredCells())
        if (plan.keys.contains(cell.key))
            cells.append(cell);
    return cells;
}

} // namespace yz::cli
