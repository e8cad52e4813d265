#pragma once

#include "query/PressRecord.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <functional>
#include <optional>

namespace yz {

// One stored cell of one run.
struct StoredCell {
    QString key; // "tb1/收录/Baidu", "tb2/PR", "dminfo", ...
    QString value;
    QString status; // "ok", "none", "refused", "unrecognised", "failed", or "" (no query fills it)
    int http = 0; // the failure's status number, 0 otherwise
};

// Which front end stored a run.
inline const QString kSourceWindow = QStringLiteral("window");
inline const QString kSourceCommandLine = QStringLiteral("cli");

// One run of one domain: a press of the window or a domain of the command line.
struct StoredRun {
    qint64 id = 0; // grows with every run stored
    QDateTime at; // when it ended, UTC
    QString source; // kSourceWindow, kSourceCommandLine, or "" for a run kept by an earlier version
    QString domain;
    PressGroups groups;
    QList<StoredCell> cells; // the cells the run measured

    const StoredCell *cell(const QString &key) const;
};

// A metric whose newest good value differs from the good value before it.
struct MetricChange {
    QString domain;
    QString key;
    QString before;
    QDateTime beforeAt;
    QString after;
    QDateTime afterAt;
};

// The queries that failed or were refused, per domain.
struct DomainFailures {
    QString domain;
    int count = 0;
    QDateTime lastAt;
};

// What a change report covers: the runs after `afterRun` that ended at or
// after `since` (an invalid time: any).
struct ReportWindow {
    qint64 afterRun = 0;
    QDateTime since;
};

struct ChangeReport {
    QList<MetricChange> changes; // by domain, then metric
    QList<DomainFailures> failures; // by domain
    qint64 newestRun = 0; // the newest run stored when the report was made
};

// The results database of the command line's --store and of the window's
// presses: a SQLite file of runs (id, time, source, domain, the groups that
// ran) and their cells. A run is written in one transaction, so a run killed
// midway loses at most the domain in flight. The file carries its layout's
// version and is brought up to date in place when opened.
class ResultStore {
public:
    explicit ResultStore(QString path);
    ~ResultStore();
    ResultStore(const ResultStore &) = delete;
    ResultStore &operator=(const ResultStore &) = delete;

    enum class Purpose { Reading, Writing };
    // Opens the database; for writing, it and its directory are made when
    // missing, for reading a missing file is an error naming it.
    bool open(Purpose purpose, QString *error);
    // One press's measured cells under the domain, in one transaction; the run's id.
    std::optional<qint64> add(const QString &domain, const PressRecord &record, const QString &source, QString *error);
    // A domain's runs that ended at or after `since` (invalid: all), oldest
    // first; at most the `newest` of them when not 0.
    std::optional<QList<StoredRun>> runs(const QString &domain, const QDateTime &since, QString *error, int newest = 0);
    // The newest run of the domain that ended at or after `since` and ran at
    // least the groups asked; nothing when there is none.
    std::optional<StoredRun> latestRun(const QString &domain, const PressGroups &groups, const QDateTime &since,
                                       QString *error);
    // Writes the cells into a stored run in one transaction, replacing
    // those it held under the same keys (a run completed later).
    bool complete(qint64 run, const QList<RecordedCell> &cells, QString *error);
    // What changed in the window's runs, each metric's newest good value
    // against the good value before the window (or the window's first).
    std::optional<ChangeReport> changes(const ReportWindow &window, QString *error);
    // The newest run a named report has covered (0: none yet), and its update.
    std::optional<qint64> reportMark(const QString &name, QString *error);
    bool setReportMark(const QString &name, qint64 run, QString *error);

private:
    std::optional<qint64> metricId(const QString &key, QString *error);
    // The cells of a run, each written or replaced.
    bool writeCells(qint64 run, const QList<RecordedCell> &cells, QString *error);
    // Runs the work in one transaction, rolled back when it fails.
    bool inTransaction(const std::function<bool()> &work, QString *error);

    QString m_path;
    QString m_connection;
    QSqlDatabase m_db;
    QHash<QString, qint64> m_metricIds; // metrics' ids by key, as committed
};

// Where results are kept unless a file is named: in the user's data
// directory, beside the installed published rules.
QString defaultResultsFile();

// The good value a metric held before: from the newest of `runs` (oldest
// first) where it was read; nothing when it never was.
struct PreviousValue {
    QString value;
    QDateTime at;
};
std::optional<PreviousValue> lastGoodValue(const QList<StoredRun> &runs, const QString &key);

} // namespace yz
