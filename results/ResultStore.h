#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace yz {

// One stored cell of one run.
struct StoredCell {
    QString key; // "tb1/收录/Baidu", "tb2/PR", "dminfo", ...
    QString value;
    QString status; // "ok", "none", "refused", "unrecognised", "failed", "waiting", ""
    int http = 0; // the failure's status number, 0 otherwise
};

// One run of one domain.
struct StoredRun {
    QString runAt; // ISO 8601, UTC
    QList<StoredCell> cells;

    QHash<QString, QString> values() const; // by cell key
};

// The results database of the command line's --store and of the window's
// presses: a SQLite file with one table,
//   results(run_at TEXT, domain TEXT, cell TEXT, value TEXT, status TEXT, http INTEGER),
// one row per cell of every run; a domain's run is written in one transaction,
// so a run killed midway loses at most the domain in flight.
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
    // One domain's run, in one transaction.
    bool add(const QString &domain, const QList<StoredCell> &cells, const QDateTime &runAt, QString *error);
    // A domain's runs from `since` on (an invalid time: all), oldest first.
    std::optional<QList<StoredRun>> runs(const QString &domain, const QDateTime &since, QString *error);
    // The domains stored, in name order.
    std::optional<QStringList> domains(QString *error);

private:
    QString m_path;
    QString m_connection;
    QSqlDatabase m_db;
};

// Where results are kept unless a file is named: in the user's data
// directory, beside the installed published rules.
QString defaultResultsFile();

// The keys whose value differs between two runs (a key new in `now` counts).
QStringList changedKeys(const StoredRun &before, const StoredRun &now);

// A grid cell named by its headings: "收录/Baidu" in a grid of several
// value rows, the column heading alone ("PR") in a grid of one. Its stored
// key puts the grid's name in front: "tb1/收录/Baidu".
QString gridCellName(int valueRows, const QString &rowHeading, const QString &columnHeading);

// The value a cell held before `current`: from the newest run (`runs` are
// oldest first) whose value of `key` differs from it and is not empty;
// nothing when none does.
struct PreviousValue {
    QString value;
    QString runAt; // ISO 8601, UTC
};
std::optional<PreviousValue> previousDifferent(const QList<StoredRun> &runs, const QString &key,
                                               const QString &current);

} // namespace yz
