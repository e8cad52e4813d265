#include "results/HistoryTable.h"

#include "results/CsvText.h"
#include "results/ValueComparison.h"

#include <QHash>

#include <algorithm>

namespace yz {

HistoryTable historyTable(const QList<StoredRun> &runs, const QDateTime &since)
{
    HistoryTable table;
    QHash<QString, QString> lastGood;
    for (const StoredRun &run : runs) {
        HistoryLine line;
        line.run = run;
        line.first = lastGood.isEmpty();
        for (const StoredCell &cell : run.cells) {
            if (!table.keys.contains(cell.key))
                table.keys.append(cell.key);
            switch (measuredBy(cell.status)) {
            case Measured::Value: {
                const auto before = lastGood.constFind(cell.key);
                if (before != lastGood.constEnd() && !sameValue(*before, cell.value))
                    line.changes.append({cell.key, *before, cell.value});
                lastGood.insert(cell.key, cell.value);
                break;
            }
            case Measured::Failure:
                line.failed.append(cell.key);
                break;
            case Measured::Nothing:
                break;
            }
        }
        if (!since.isValid() || run.at >= since)
            table.lines.append(line);
    }
    return table;
}

QString localTimeText(const QDateTime &at)
{
    return at.isValid() ? at.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QString();
}

QString sourceText(const QString &source)
{
    if (source == kSourceWindow)
        return QStringLiteral("窗口");
    if (source == kSourceCommandLine)
        return QStringLiteral("命令行");
    return QString();
}

QByteArray historyCsv(const HistoryTable &table)
{
    const auto headings = [](const QStringList &keys) {
        QStringList list;
        for (const QString &key : keys)
            list.append(metricHeading(key));
        return list;
    };
    QByteArray csv = kCsvByteOrderMark
            + csvLine(QStringList{QStringLiteral("时间"), QStringLiteral("来源")} + headings(table.keys)
                      + QStringList{QStringLiteral("变化"), QStringLiteral("失败")});
    for (const HistoryLine &line : table.lines) {
        QStringList row{localTimeText(line.run.at), sourceText(line.run.source)};
        for (const QString &key : table.keys) {
            const StoredCell *cell = line.run.cell(key);
            row.append(cell ? cell->value : QString());
        }
        QStringList changed;
        for (const ValueChange &change : line.changes)
            changed.append(change.key);
        row.append(headings(changed).join(u';'));
        row.append(headings(line.failed).join(u';'));
        csv += csvLine(row);
    }
    return csv;
}

QList<std::pair<QDateTime, double>> countSeries(const QList<StoredRun> &runs, const QString &key)
{
    QList<std::pair<QDateTime, double>> points;
    for (const StoredRun &run : runs)
        if (const StoredCell *cell = run.cell(key); cell && measuredBy(cell->status) == Measured::Value)
            if (const std::optional<QString> digits = countDigits(cell->value))
                points.append({run.at, digits->toDouble()});
    // In time order, whatever order the runs were stored in.
    std::stable_sort(points.begin(), points.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    return points;
}

} // namespace yz
