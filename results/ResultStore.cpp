#include "results/ResultStore.h"

#include "results/ResultsSchema.h"
#include "results/ValueComparison.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <algorithm>
#include <atomic>

namespace yz {
namespace {

// The statuses of a good value and of a failed query, as SQL lists.
const QString kGood = QStringLiteral("('ok', 'none')");
const QString kFailure = QStringLiteral("('refused', 'unrecognised', 'failed', 'waiting')");

// An empty text, never a null one (which would be bound as NULL).
QString notNull(const QString &text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

QString storedTime(const QDateTime &at)
{
    return at.toUTC().toString(Qt::ISODate);
}

QDateTime timeOf(const QVariant &stored)
{
    QDateTime at = QDateTime::fromString(stored.toString(), Qt::ISODate);
    at.setTimeSpec(Qt::UTC);
    return at;
}

// Each store its own connection: the window keeps one on a thread of its own.
int nextConnection()
{
    static std::atomic<int> counter{0};
    return counter.fetch_add(1);
}

// Ends a read transaction however the reading ends.
class ReadSnapshot {
public:
    explicit ReadSnapshot(QSqlDatabase &db)
        : m_db(db)
        , m_open(db.transaction())
    {
    }
    ~ReadSnapshot()
    {
        if (m_open)
            m_db.commit();
    }

private:
    QSqlDatabase &m_db;
    bool m_open;
};

bool failed(const QSqlQuery &query, QString *error)
{
    *error = query.lastError().text();
    return false;
}

} // namespace

ResultStore::ResultStore(QString path)
    : m_path(std::move(path))
    , m_connection(QStringLiteral("yanzhou-results-%1").arg(nextConnection()))
{
}

ResultStore::~ResultStore()
{
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connection);
}

QString defaultResultsFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
            + QStringLiteral("/yanzhou/results.sqlite");
}

bool ResultStore::open(Purpose purpose, QString *error)
{
    if (purpose == Purpose::Reading && !QFileInfo::exists(m_path)) {
        *error = QStringLiteral("没有结果数据库 %1（用 --store 运行一次后才有）").arg(m_path);
        return false;
    }
    if (purpose == Purpose::Writing && !QFileInfo(m_path).dir().exists() && !QDir().mkpath(QFileInfo(m_path).path())) {
        *error = QStringLiteral("无法创建结果数据库的目录 %1").arg(QFileInfo(m_path).path());
        return false;
    }
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    m_db.setDatabaseName(m_path);
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    QSqlQuery query(m_db);
    QString problem;
    // A small page cache: the window keeps its connection for the whole session.
    const bool ok = m_db.open() && query.exec(QStringLiteral("PRAGMA journal_mode=WAL"))
            && (query.finish(), query.exec(QStringLiteral("PRAGMA cache_size=-1024")))
            && prepareResultsSchema(m_db, &problem);
    if (!ok)
        *error = QStringLiteral("无法打开结果数据库 %1：%2")
                         .arg(m_path,
                              !problem.isEmpty()      ? problem
                                      : m_db.isOpen() ? query.lastError().text()
                                                      : m_db.lastError().text());
    return ok;
}

std::optional<qint64> ResultStore::metricId(const QString &key, QString *error)
{
    // A metric's id never changes once committed: asked of the database once.
    if (const auto known = m_metricIds.constFind(key); known != m_metricIds.constEnd())
        return *known;
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("INSERT OR IGNORE INTO metrics (key) VALUES (?)"));
    query.addBindValue(key);
    if (!query.exec()) {
        failed(query, error);
        return std::nullopt;
    }
    query.prepare(QStringLiteral("SELECT id FROM metrics WHERE key = ?"));
    query.addBindValue(key);
    if (!query.exec() || !query.next()) {
        failed(query, error);
        return std::nullopt;
    }
    return m_metricIds[key] = query.value(0).toLongLong();
}

bool ResultStore::writeCells(qint64 run, const QList<RecordedCell> &cells, QString *error)
{
    QSqlQuery cell(m_db);
    cell.prepare(
            QStringLiteral("INSERT OR REPLACE INTO cells (run, metric, value, status, http) VALUES (?, ?, ?, ?, ?)"));
    for (const RecordedCell &recorded : cells) {
        const std::optional<qint64> metric = metricId(recorded.key, error);
        if (!metric)
            return false;
        cell.addBindValue(run);
        cell.addBindValue(*metric);
        cell.addBindValue(notNull(recorded.value));
        cell.addBindValue(notNull(recorded.status.name()));
        cell.addBindValue(recorded.status.failureStatus());
        if (!cell.exec())
            return failed(cell, error);
    }
    return true;
}

bool ResultStore::inTransaction(const std::function<bool()> &work, QString *error)
{
    if (!m_db.transaction()) {
        *error = m_db.lastError().text();
        return false;
    }
    // A metric added by a transaction that does not commit may be gone, or
    // come back under another id.
    if (!work()) {
        m_db.rollback();
        m_metricIds.clear();
        return false;
    }
    if (!m_db.commit()) {
        *error = m_db.lastError().text();
        m_metricIds.clear();
        return false;
    }
    return true;
}

std::optional<qint64> ResultStore::add(const QString &domain, const PressRecord &record, const QString &source,
                                       QString *error)
{
    qint64 id = 0;
    const bool ok = inTransaction(
            [&] {
                QSqlQuery run(m_db);
                run.prepare(QStringLiteral("INSERT INTO runs (at, source, domain, groups) VALUES (?, ?, ?, ?)"));
                run.addBindValue(storedTime(record.at.isValid() ? record.at : QDateTime::currentDateTimeUtc()));
                run.addBindValue(notNull(source));
                run.addBindValue(notNull(domain));
                run.addBindValue(notNull(record.groups.names()));
                if (!run.exec())
                    return failed(run, error);
                id = run.lastInsertId().toLongLong();
                return writeCells(id, record.measuredCells(), error);
            },
            error);
    return ok ? std::optional<qint64>(id) : std::nullopt;
}

std::optional<QList<StoredRun>> ResultStore::runs(const QString &domain, const QDateTime &since, QString *error,
                                                  int newest)
{
    ReadSnapshot snapshot(m_db);
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT id, at, source, groups FROM runs WHERE domain = ? AND at >= ? "
                                 "ORDER BY id DESC LIMIT ?"));
    query.addBindValue(domain);
    query.addBindValue(since.isValid() ? storedTime(since) : QStringLiteral("0000"));
    query.addBindValue(newest > 0 ? newest : -1);
    if (!query.exec()) {
        failed(query, error);
        return std::nullopt;
    }
    QList<StoredRun> list;
    while (query.next()) {
        StoredRun run;
        run.id = query.value(0).toLongLong();
        run.at = timeOf(query.value(1));
        run.source = query.value(2).toString();
        run.domain = domain;
        run.groups = PressGroups::fromNames(query.value(3).toString());
        list.prepend(run);
    }
    if (list.isEmpty())
        return list;
    query.prepare(QStringLiteral("SELECT c.run, m.key, c.value, c.status, c.http FROM runs r "
                                 "JOIN cells c ON c.run = r.id JOIN metrics m ON m.id = c.metric "
                                 "WHERE r.domain = ? AND r.id >= ? ORDER BY c.run, c.metric"));
    query.addBindValue(domain);
    query.addBindValue(list.first().id);
    if (!query.exec()) {
        failed(query, error);
        return std::nullopt;
    }
    qsizetype index = 0;
    while (query.next()) {
        const qint64 run = query.value(0).toLongLong();
        while (index < list.size() && list[index].id < run)
            ++index;
        if (index == list.size())
            break;
        if (list[index].id == run)
            list[index].cells.append({query.value(1).toString(), query.value(2).toString(), query.value(3).toString(),
                                      query.value(4).toInt()});
    }
    return list;
}

std::optional<StoredRun> ResultStore::latestRun(const QString &domain, const PressGroups &groups,
                                                const QDateTime &since, QString *error)
{
    const std::optional<QList<StoredRun>> list = runs(domain, since, error);
    if (!list)
        return std::nullopt;
    const QStringList asked = groups.names().split(u',', Qt::SkipEmptyParts);
    for (qsizetype i = list->size() - 1; i >= 0; --i) {
        const QStringList ran = list->at(i).groups.names().split(u',', Qt::SkipEmptyParts);
        if (std::all_of(asked.cbegin(), asked.cend(), [&ran](const QString &g) { return ran.contains(g); }))
            return list->at(i);
    }
    error->clear();
    return std::nullopt;
}

bool ResultStore::complete(qint64 run, const QList<RecordedCell> &cells, QString *error)
{
    return inTransaction([&] { return writeCells(run, cells, error); }, error);
}

std::optional<ChangeReport> ResultStore::changes(const ReportWindow &window, QString *error)
{
    ReadSnapshot snapshot(m_db);
    ChangeReport report;
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("SELECT coalesce(max(id), 0) FROM runs")) || !query.next()) {
        failed(query, error);
        return std::nullopt;
    }
    report.newestRun = query.value(0).toLongLong();
    // The window's runs: by their time through its index when a day is
    // given, else by id; the runs are the outer loop, each reaching its
    // cells by key, so a night's report reads a night's cells.
    const QString inWindow = window.since.isValid()
            ? QStringLiteral("r.at >= :since AND +r.id > :after AND +r.id <= :newest")
            : QStringLiteral("r.id > :after AND r.id <= :newest");
    const auto bindWindow = [&](QSqlQuery &q) {
        if (window.since.isValid())
            q.bindValue(QStringLiteral(":since"), storedTime(window.since));
        q.bindValue(QStringLiteral(":after"), window.afterRun);
        q.bindValue(QStringLiteral(":newest"), report.newestRun);
    };
    // Per domain of the window and metric, the newest good value in the
    // window and the run whose good value it is measured against: the
    // newest before the window, else the window's first. Each is a short
    // walk of the domain's runs from one end, however many runs are covered.
    const QString goodCell = QStringLiteral("CROSS JOIN cells c2 ON c2.run = r2.id AND c2.metric = p.metric "
                                            "WHERE r2.domain = p.domain AND c2.status IN %1 AND ")
                                     .arg(kGood);
    query.prepare(
            QStringLiteral(
                    "WITH win AS MATERIALIZED (SELECT r.id, r.domain FROM runs r WHERE %1), "
                    "doms AS (SELECT domain, min(id) AS first, max(id) AS last FROM win GROUP BY domain), "
                    "picked AS (SELECT p.domain, p.metric, "
                    "  (SELECT r2.id FROM runs r2 %2 r2.id BETWEEN p.first AND p.last ORDER BY r2.id DESC LIMIT 1) AS "
                    "newest, "
                    "  coalesce((SELECT r2.id FROM runs r2 %2 r2.id < p.first ORDER BY r2.id DESC LIMIT 1), "
                    "           (SELECT r2.id FROM runs r2 %2 r2.id BETWEEN p.first AND p.last ORDER BY r2.id LIMIT "
                    "1)) AS base "
                    "  FROM (SELECT d.domain, d.first, d.last, m.id AS metric FROM doms d CROSS JOIN metrics m) p) "
                    "SELECT x.domain, m.key, x.newest, x.base, c.value, r.at, cb.value, rb.at FROM picked x "
                    "JOIN metrics m ON m.id = x.metric JOIN cells c ON c.run = x.newest AND c.metric = x.metric "
                    "JOIN runs r ON r.id = x.newest JOIN cells cb ON cb.run = x.base AND cb.metric = x.metric "
                    "JOIN runs rb ON rb.id = x.base WHERE x.newest IS NOT NULL "
                    "ORDER BY x.domain, x.metric")
                    .arg(inWindow, goodCell));
    bindWindow(query);
    if (!query.exec()) {
        failed(query, error);
        return std::nullopt;
    }
    while (query.next()) {
        if (query.value(2).toLongLong() == query.value(3).toLongLong())
            continue; // one good value in the window and none before it
        const QString after = query.value(4).toString();
        const QString old = query.value(6).toString();
        if (!sameValue(old, after))
            report.changes.append({query.value(0).toString(), query.value(1).toString(), old, timeOf(query.value(7)),
                                   after, timeOf(query.value(5))});
    }
    query.prepare(QStringLiteral("WITH win AS MATERIALIZED (SELECT r.id, r.domain, r.at FROM runs r WHERE %2) "
                                 "SELECT w.domain, count(*), max(w.at) FROM win w CROSS JOIN cells c ON c.run = w.id "
                                 "WHERE c.status IN %1 GROUP BY w.domain ORDER BY w.domain")
                          .arg(kFailure, inWindow));
    bindWindow(query);
    if (!query.exec()) {
        failed(query, error);
        return std::nullopt;
    }
    while (query.next())
        report.failures.append({query.value(0).toString(), query.value(1).toInt(), timeOf(query.value(2))});
    return report;
}

std::optional<qint64> ResultStore::reportMark(const QString &name, QString *error)
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT run FROM report_marks WHERE name = ?"));
    query.addBindValue(name);
    if (!query.exec()) {
        failed(query, error);
        return std::nullopt;
    }
    return query.next() ? query.value(0).toLongLong() : 0;
}

bool ResultStore::setReportMark(const QString &name, qint64 run, QString *error)
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("INSERT INTO report_marks (name, run) VALUES (?, ?) "
                                 "ON CONFLICT (name) DO UPDATE SET run = max(run, excluded.run)"));
    query.addBindValue(name);
    query.addBindValue(run);
    return query.exec() || failed(query, error);
}

const StoredCell *StoredRun::cell(const QString &key) const
{
    for (const StoredCell &c : cells)
        if (c.key == key)
            return &c;
    return nullptr;
}

std::optional<PreviousValue> lastGoodValue(const QList<StoredRun> &runs, const QString &key)
{
    for (qsizetype i = runs.size() - 1; i >= 0; --i)
        if (const StoredCell *cell = runs[i].cell(key); cell && measuredBy(cell->status) == Measured::Value)
            return PreviousValue{cell->value, runs[i].at};
    return std::nullopt;
}

} // namespace yz
