#include "results/ResultsSchema.h"

#include "results/ValueComparison.h"

#include <QHash>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace yz {
namespace {

const char *const kCreate[] = {
        "CREATE TABLE runs (id INTEGER PRIMARY KEY, at TEXT NOT NULL, source TEXT NOT NULL, "
        "domain TEXT NOT NULL, groups TEXT NOT NULL)",
        "CREATE INDEX runs_by_domain ON runs (domain, id)",
        "CREATE INDEX runs_by_time ON runs (at)",
        // A metric's key ("tb1/收录/Baidu") is stored once; cells name it by number.
        "CREATE TABLE metrics (id INTEGER PRIMARY KEY, key TEXT NOT NULL UNIQUE)",
        "CREATE TABLE cells (run INTEGER NOT NULL, metric INTEGER NOT NULL, value TEXT NOT NULL, "
        "status TEXT NOT NULL, http INTEGER NOT NULL, PRIMARY KEY (run, metric)) WITHOUT ROWID",
        // The failed queries alone, for the change report's count of them.
        "CREATE INDEX cells_failed ON cells (run) WHERE status IN ('refused', 'unrecognised', 'failed', 'waiting')",
        // The newest run a change report has covered, by report name.
        "CREATE TABLE report_marks (name TEXT PRIMARY KEY, run INTEGER NOT NULL)",
};

bool exec(QSqlQuery &query, const QString &sql, QString *error)
{
    if (query.exec(sql))
        return true;
    *error = query.lastError().text();
    return false;
}

int userVersion(QSqlDatabase &db)
{
    QSqlQuery query(db);
    return query.exec(QStringLiteral("PRAGMA user_version")) && query.next() ? query.value(0).toInt() : -1;
}

bool hasTable(QSqlDatabase &db, const QString &name)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?"));
    query.addBindValue(name);
    return query.exec() && query.next();
}

// The groups a run of the first layout ran: a grid whose cells hold a value,
// the domain information when its texts do. (The command line kept every
// cell, empty ones of groups it did not run included.)
QString groupsOf(const QSet<QString> &filledKeys)
{
    QStringList groups;
    const std::pair<const char *, const char *> prefixes[] = {{"tb1/", "common"},
                                                              {"tb2/", "rank"},
                                                              {"tb3/", "recent"},
                                                              {"dminfo", "info"}};
    for (const auto &[prefix, group] : prefixes)
        for (const QString &key : filledKeys)
            if (key.startsWith(QLatin1String(prefix))) {
                groups.append(QLatin1String(group));
                break;
            }
    return groups.join(u',');
}

// A cell of the first layout as version 2 keeps it: "loading" left behind by
// a run that ended without an answer is that failure; the domain
// information, kept without a status, is a value when it holds one.
void mendCell(const QString &key, QString &value, QString &status)
{
    if (value == u"loading") {
        value = key.startsWith(u"tb") ? QStringLiteral("X") : QString();
        status = QStringLiteral("failed");
    } else if (status.isEmpty() && key.startsWith(u"dminfo") && !value.isEmpty()) {
        status = QStringLiteral("ok");
    }
}

struct OldCell {
    QString key;
    QString value;
    QString status;
    int http;
};

class Migration {
public:
    explicit Migration(QSqlDatabase &db)
        : m_db(db)
        , m_insertRun(db)
        , m_insertCell(db)
        , m_insertMetric(db)
    {
    }

    bool run(QString *error)
    {
        m_insertRun.prepare(QStringLiteral("INSERT INTO runs (at, source, domain, groups) VALUES (?, '', ?, ?)"));
        m_insertCell.prepare(
                QStringLiteral("INSERT INTO cells (run, metric, value, status, http) VALUES (?, ?, ?, ?, ?)"));
        m_insertMetric.prepare(QStringLiteral("INSERT INTO metrics (key) VALUES (?)"));
        QSqlQuery old(m_db);
        old.setForwardOnly(true);
        if (!exec(old,
                  QStringLiteral("SELECT run_at, lower(domain), cell, value, status, http FROM results "
                                 "ORDER BY run_at, lower(domain), rowid"),
                  error))
            return false;
        // Rows of one second and domain are one run, unless a key comes back:
        // two runs within one second.
        QString at;
        QString domain;
        QList<OldCell> cells;
        QSet<QString> keys;
        while (old.next()) {
            const QString rowAt = old.value(0).toString();
            const QString rowDomain = old.value(1).toString();
            const QString key = old.value(2).toString();
            if (rowAt != at || rowDomain != domain || keys.contains(key)) {
                if (!cells.isEmpty() && !flush(at, domain, cells, error))
                    return false;
                at = rowAt;
                domain = rowDomain;
                cells.clear();
                keys.clear();
            }
            keys.insert(key);
            cells.append({key, old.value(3).toString(), old.value(4).toString(), old.value(5).toInt()});
        }
        if (!cells.isEmpty() && !flush(at, domain, cells, error))
            return false;
        QSqlQuery query(m_db);
        return exec(query, QStringLiteral("DROP TABLE results"), error);
    }

private:
    bool flush(const QString &at, const QString &domain, QList<OldCell> &cells, QString *error)
    {
        QSet<QString> filled;
        for (OldCell &cell : cells) {
            mendCell(cell.key, cell.value, cell.status);
            if (!cell.value.isEmpty())
                filled.insert(cell.key);
        }
        m_insertRun.addBindValue(at);
        m_insertRun.addBindValue(domain);
        m_insertRun.addBindValue(groupsOf(filled));
        if (!m_insertRun.exec()) {
            *error = m_insertRun.lastError().text();
            return false;
        }
        const qint64 run = m_insertRun.lastInsertId().toLongLong();
        for (const OldCell &cell : std::as_const(cells)) {
            const std::optional<qint64> metric = metricId(cell.key, error);
            if (!metric)
                return false;
            m_insertCell.addBindValue(run);
            m_insertCell.addBindValue(*metric);
            m_insertCell.addBindValue(cell.value.isNull() ? QStringLiteral("") : cell.value);
            m_insertCell.addBindValue(cell.status.isNull() ? QStringLiteral("") : cell.status);
            m_insertCell.addBindValue(cell.http);
            if (!m_insertCell.exec()) {
                *error = m_insertCell.lastError().text();
                return false;
            }
        }
        return true;
    }

    std::optional<qint64> metricId(const QString &key, QString *error)
    {
        if (const auto found = m_metrics.constFind(key); found != m_metrics.constEnd())
            return *found;
        m_insertMetric.addBindValue(key);
        if (!m_insertMetric.exec()) {
            *error = m_insertMetric.lastError().text();
            return std::nullopt;
        }
        return m_metrics[key] = m_insertMetric.lastInsertId().toLongLong();
    }

    QSqlDatabase &m_db;
    QSqlQuery m_insertRun;
    QSqlQuery m_insertCell;
    QSqlQuery m_insertMetric;
    QHash<QString, qint64> m_metrics;
};

bool createTables(QSqlDatabase &db, QString *error)
{
    QSqlQuery query(db);
    for (const char *sql : kCreate)
        if (!exec(query, QString::fromUtf8(sql), error))
            return false;
    return exec(query, QStringLiteral("PRAGMA user_version = %1").arg(kResultsSchemaVersion), error);
}

} // namespace

bool prepareResultsSchema(QSqlDatabase &db, QString *error)
{
    if (userVersion(db) == kResultsSchemaVersion)
        return true;
    // The write lock first, then a second look: another program (the window
    // and a nightly run share the file) may have done it meanwhile.
    QSqlQuery query(db);
    if (!exec(query, QStringLiteral("BEGIN IMMEDIATE"), error))
        return false;
    bool ok = true;
    const int version = userVersion(db);
    if (version > kResultsSchemaVersion) {
        *error = QStringLiteral("结果数据库的版本是 %1，本程序只认识到 %2：请用更新的程序打开")
                         .arg(version)
                         .arg(kResultsSchemaVersion);
        ok = false;
    } else if (version < kResultsSchemaVersion) {
        const bool firstLayout = hasTable(db, QStringLiteral("results"));
        ok = createTables(db, error) && (!firstLayout || Migration(db).run(error));
    }
    if (ok && exec(query, QStringLiteral("COMMIT"), error))
        return true;
    query.exec(QStringLiteral("ROLLBACK"));
    return false;
}

} // namespace yz
