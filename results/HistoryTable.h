#pragma once

#include "results/ResultStore.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace yz {

// A metric of a run whose good value differs from the last good value before it.
struct ValueChange {
    QString key;
    QString before;
    QString after;
};

// One run as a line of a domain's history.
struct HistoryLine {
    StoredRun run;
    bool first = false; // no earlier run of the domain measured anything
    QList<ValueChange> changes; // against the last good value of each metric before the run
    QStringList failed; // the metrics whose query failed or was refused in the run
};

// A domain's history as both front ends show it: every metric any run
// measured (in the order first seen), and the runs from `since` on, each
// measured against all the runs before it.
struct HistoryTable {
    QStringList keys;
    QList<HistoryLine> lines;
};
HistoryTable historyTable(const QList<StoredRun> &runs, const QDateTime &since = {});

// The table as CSV: a heading line (时间, 来源, the metrics' headings, 变化,
// 失败) after the byte-order mark, then a line per run, times local.
QByteArray historyCsv(const HistoryTable &table);

// A time as the user reads it: local, to the minute ("2026-12-08 03:30").
QString localTimeText(const QDateTime &at);
// Which front end stored a run, in words.
QString sourceText(const QString &source);
// A count's points for a chart: (time, count) of the runs that read one, in time order.
QList<std::pair<QDateTime, double>> countSeries(const QList<StoredRun> &runs, const QString &key);

} // namespace yz
