#include "results/ResultStore.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <atomic>

namespace yz {
namespace {

// An empty text, never a null one (which would be bound as NULL).
QString notNull(const QString &text)
{
    return text.isNull() ? QStringLiteral("") : text;
}

// Each store its own connection: the window keeps one on a thread of its own.
int nextConnection()
{
    static std::atomic<int> counter{0};
    return counter.fetch_add(1);
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
    const bool ok = m_db.open() && query.exec(QStringLiteral("PRAGMA journal_mode=WAL"))
            && query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS results (run_at TEXT NOT NULL, "
                                         "domain TEXT NOT NULL, cell TEXT NOT NULL, value TEXT NOT NULL, "
                                         "status TEXT NOT NULL, http INTEGER NOT NULL)"))
            && query.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS results_by_domain ON results (domain, run_at)"))
            // Runs stored before domains were normalised may be in capitals.
            && query.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS results_by_folded_domain ON results "
                                         "(domain COLLATE NOCASE, run_at)"));
    if (!ok)
        *error = QStringLiteral("无法打开结果数据库 %1：%2")
                         .arg(m_path, m_db.isOpen() ? query.lastError().text() : m_db.lastError().text());
    return ok;
}

bool ResultStore::add(const QString &domain, const QList<StoredCell> &cells, const QDateTime &runAt, QString *error)
{
    if (!m_db.transaction()) {
        *error = m_db.lastError().text();
        return false;
    }
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("INSERT INTO results (run_at, domain, cell, value, status, http) "
                                 "VALUES (?, ?, ?, ?, ?, ?)"));
    const QString at = runAt.toUTC().toString(Qt::ISODate);
    for (const StoredCell &cell : cells) {
        query.addBindValue(at);
        query.addBindValue(domain);
        query.addBindValue(cell.key);
        query.addBindValue(notNull(cell.value));
        query.addBindValue(notNull(cell.status));
        query.addBindValue(cell.http);
        if (!query.exec()) {
            *error = query.lastError().text();
            m_db.rollback();
            return false;
        }
    }
    if (!m_db.commit()) {
        *error = m_db.lastError().text();
        return false;
    }
    return true;
}

std::optional<QList<StoredRun>> ResultStore::runs(const QString &domain, const QDateTime &since, QString *error)
{
    QSqlQuery query(m_db);
    query.prepare(
            QStringLiteral("SELECT run_at, cell, value, status, http FROM results WHERE domain = ? COLLATE NOCASE "
                           "AND run_at >= ? ORDER BY run_at, rowid"));
    query.addBindValue(domain);
    query.addBindValue(since.isValid() ? since.toUTC().toString(Qt::ISODate) : QStringLiteral("0000"));
    if (!query.exec()) {
        *error = query.lastError().text();
        return std::nullopt;
    }
    QList<StoredRun> list;
    while (query.next()) {
        const QString at = query.value(0).toString();
        if (list.isEmpty() || list.last().runAt != at)
            list.append({at, {}});
        list.last().cells.append({query.value(1).toString(), query.value(2).toString(), query.value(3).toString(),
                                  query.value(4).toInt()});
    }
    return list;
}

std::optional<QStringList> ResultStore::domains(QString *error)
{
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("SELECT DISTINCT lower(domain) FROM results ORDER BY 1"))) {
        *error = query.lastError().text();
        return std::nullopt;
    }
    QStringList list;
    while (query.next())
        list.append(query.value(0).toString());
    return list;
}

QHash<QString, QString> StoredRun::values() const
{
    QHash<QString, QString> byKey;
    for (const StoredCell &cell : cells)
        byKey.insert(cell.key, cell.value);
    return byKey;
}

QStringList changedKeys(const StoredRun &before, const StoredRun &now)
{
    const QHash<QString, QString> old = before.values();
    QStringList changed;
    for (const StoredCell &cell : now.cells)
        if (!old.contains(cell.key) || old.value(cell.key) != cell.value)
            changed.append(cell.key);
    return changed;
}

QString gridCellName(int valueRows, const QString &rowHeading, const QString &columnHeading)
{
    return valueRows == 1 ? columnHeading : rowHeading + u'/' + columnHeading;
}

std::optional<PreviousValue> previousDifferent(const QList<StoredRun> &runs, const QString &key, const QString &current)
{
    for (qsizetype i = runs.size() - 1; i >= 0; --i) {
        for (const StoredCell &cell : runs[i].cells)
            if (cell.key == key && cell.value != current && !cell.value.isEmpty())
                return PreviousValue{cell.value, runs[i].runAt};
    }
    return std::nullopt;
}

} // namespace yz
