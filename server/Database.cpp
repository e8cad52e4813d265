#include "server/Database.h"

#include "server/Log.h"
#include "server/Metrics.h"
#include "server/Transaction.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUrl>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <dlfcn.h>

namespace yz::server {
namespace {

// What the server last said outside a query on this thread's connection
// (a shutdown's "FATAL: terminating connection ..."), the reason a lost
// connection is logged with.
thread_local QByteArray t_lastServerNotice;

// libpq prints such messages straight to standard error, without priority
// or time. The already loaded libpq is asked for its notice hook, so that
// they are kept instead (no build dependency on libpq's headers).
void keepServerNotices(const QSqlDatabase &db)
{
    using Processor = void (*)(void *, const char *);
    using SetProcessor = Processor (*)(void *, Processor, void *);
    static const SetProcessor setProcessor = [] {
        void *library = ::dlopen("libpq.so.5", RTLD_NOW | RTLD_NOLOAD);
        return library ? reinterpret_cast<SetProcessor>(::dlsym(library, "PQsetNoticeProcessor")) : nullptr;
    }();
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    const QByteArrayView type(handle.typeName() ? handle.typeName() : "");
    if (!setProcessor || !handle.isValid() || (type != "PGconn*" && type != "pg_conn*"))
        return;
    void *connection = *static_cast<void *const *>(handle.constData());
    if (!connection)
        return;
    setProcessor(
            connection,
            [](void *, const char *message) {
                t_lastServerNotice = QByteArray(message).simplified();
                qCDebug(lcDatabase, "the database server says: %s", t_lastServerNotice.constData());
            },
            nullptr);
}

// A new PostgreSQL connection says nothing on the terminal: the server's
// notices ("already exists, skipping") are not for the operator, and what it
// says outside a query is kept for the log.
void quietSession(const QSqlDatabase &db)
{
    keepServerNotices(db);
    QSqlQuery(db).exec(QStringLiteral("SET client_min_messages TO WARNING"));
}

// One entry per schema version: the statements that bring the previous
// version to it. "%ID%" stands for the auto-numbered key column.
struct Migration {
    int version;
    QStringList statements;
    QStringList postgresOnly = {}; // after `statements`, on PostgreSQL alone
};

const QList<Migration> &migrations()
{
    static const QList<Migration> list = {
            {1,
             {
                     QStringLiteral("CREATE TABLE settings (name TEXT PRIMARY KEY, value TEXT NOT NULL)"),
                     QStringLiteral("CREATE TABLE news (id %ID%, position INTEGER NOT NULL, title TEXT NOT NULL, "
                                    "address TEXT NOT NULL)"),
                     QStringLiteral("CREATE TABLE suggestions (id %ID%, received_at TEXT NOT NULL, "
                                    "client TEXT NOT NULL, body TEXT NOT NULL)"),
                     QStringLiteral("CREATE INDEX suggestions_time ON suggestions (received_at)"),
                     QStringLiteral("CREATE TABLE ranks (name TEXT NOT NULL, position BIGINT NOT NULL)"),
                     QStringLiteral("CREATE INDEX ranks_name ON ranks (name)"),
                     QStringLiteral("CREATE TABLE domains (name TEXT PRIMARY KEY, tracked INTEGER NOT NULL DEFAULT 0, "
                                    "added_at TEXT, history_rev BIGINT NOT NULL DEFAULT 0)"),
                     QStringLiteral("CREATE TABLE history (domain TEXT NOT NULL, day TEXT NOT NULL, "
                                    "count BIGINT NOT NULL, PRIMARY KEY (domain, day))"),
             }},
            // The collector: where each tracked domain came from, its last
            // result, and one claim per domain and day shared by all instances.
            {2,
             {
                     QStringLiteral("ALTER TABLE domains ADD COLUMN source TEXT"),
                     QStringLiteral("ALTER TABLE domains ADD COLUMN last_count BIGINT"),
                     QStringLiteral("ALTER TABLE domains ADD COLUMN last_outcome TEXT"),
                     QStringLiteral("ALTER TABLE domains ADD COLUMN last_checked TEXT"),
                     QStringLiteral("CREATE TABLE collect_claims (domain TEXT NOT NULL, day TEXT NOT NULL, "
                                    "claimed_by TEXT NOT NULL DEFAULT '', claimed_at TEXT NOT NULL DEFAULT '', "
                                    "done INTEGER NOT NULL DEFAULT 0, attempts INTEGER NOT NULL DEFAULT 0, "
                                    "next_try TEXT NOT NULL DEFAULT '', outcome TEXT, count BIGINT, "
                                    "PRIMARY KEY (domain, day))"),
                     QStringLiteral("CREATE INDEX collect_claims_day ON collect_claims (day, done)"),
             }},
            // Every instance caches answers; on PostgreSQL a change made by
            // any connection is announced on a channel they all listen to
            // (SQLite tells a connection itself, through its data version).
            {3,
             {},
             {
                     QStringLiteral("CREATE OR REPLACE FUNCTION yanzhou_changed() RETURNS trigger AS $$ BEGIN "
                                    "PERFORM pg_notify('yanzhou_changed', TG_TABLE_NAME); RETURN NULL; END $$ "
                                    "LANGUAGE plpgsql"),
                     QStringLiteral("CREATE TRIGGER settings_changed AFTER INSERT OR UPDATE OR DELETE ON settings "
                                    "FOR EACH STATEMENT EXECUTE FUNCTION yanzhou_changed()"),
                     QStringLiteral("CREATE TRIGGER news_changed AFTER INSERT OR UPDATE OR DELETE ON news "
                                    "FOR EACH STATEMENT EXECUTE FUNCTION yanzhou_changed()"),
                     QStringLiteral("CREATE TRIGGER history_changed AFTER INSERT OR UPDATE OR DELETE ON history "
                                    "FOR EACH STATEMENT EXECUTE FUNCTION yanzhou_changed()"),
             }},
            // A domain's history is read whole for its picture; the collector
            // writes it a day at a time, so its rows lie far apart. An index
            // holding the counts too answers without visiting them.
            {4, {QStringLiteral("CREATE INDEX history_by_domain ON history (domain, day, count)")}},
            // Published rules, each kept in the signed form it is served in,
            // and the outcome of every answer the collector read with a rule.
            {5,
             {
                     QStringLiteral("CREATE TABLE published_rules (version BIGINT PRIMARY KEY, "
                                    "published_at TEXT NOT NULL, served TEXT NOT NULL)"),
                     QStringLiteral("CREATE TABLE rule_outcomes (id %ID%, rule TEXT NOT NULL, at TEXT NOT NULL, "
                                    "outcome TEXT NOT NULL, value TEXT NOT NULL, address TEXT NOT NULL)"),
                     QStringLiteral("CREATE INDEX rule_outcomes_by_rule ON rule_outcomes (rule, id)"),
                     QStringLiteral("CREATE INDEX rule_outcomes_by_time ON rule_outcomes (at)"),
             },
             {
                     QStringLiteral("CREATE TRIGGER published_rules_changed AFTER INSERT OR UPDATE OR DELETE ON "
                                    "published_rules FOR EACH STATEMENT EXECUTE FUNCTION yanzhou_changed()"),
             }},
    };
    return list;
}

QString nextConnectionName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("yzserver-%1").arg(counter.fetch_add(1));
}

} // namespace

QString storedTime(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

bool DatabaseAddress::parse(const QString &text, DatabaseAddress *out, QString *error)
{
    *out = {};
    if (text.startsWith(QLatin1String("postgresql://")) || text.startsWith(QLatin1String("postgres://"))) {
        const QUrl url(text, QUrl::StrictMode);
        const QString name = url.path().mid(1);
        if (!url.isValid() || url.host().isEmpty() || name.isEmpty() || name.contains(u'/')) {
            *error = QStringLiteral("not a database address: %1 (postgresql://user@host[:port]/database)").arg(text);
            return false;
        }
        out->postgres = true;
        out->host = url.host();
        out->port = url.port(5432);
        out->user = url.userName();
        out->password = url.password();
        out->name = name;
        return true;
    }
    if (text.isEmpty()) {
        *error = QStringLiteral("empty database address");
        return false;
    }
    out->path = text;
    return true;
}

QString DatabaseAddress::shown() const
{
    if (!postgres)
        return path;
    return QStringLiteral("postgresql://%1@%2:%3/%4").arg(user, host).arg(port).arg(name);
}

Database::Database(DatabaseAddress address)
    : m_address(std::move(address))
    , m_connectionName(nextConnectionName())
{
}

Database::~Database()
{
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

bool Database::open(QString *error)
{
    if (m_address.postgres) {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connectionName);
        m_db.setHostName(m_address.host);
        m_db.setPort(m_address.port);
        m_db.setUserName(m_address.user);
        m_db.setPassword(m_address.password);
        m_db.setDatabaseName(m_address.name);
        m_db.setConnectOptions(QStringLiteral("connect_timeout=2"));
    } else {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        m_db.setDatabaseName(m_address.path);
        m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    }
    if (!m_db.open()) {
        *error = QStringLiteral("cannot open the database %1: %2").arg(m_address.shown(), m_db.lastError().text());
        return false;
    }
    if (m_address.postgres) {
        quietSession(m_db);
    } else {
        // WAL lets readers go on while one writer commits; FULL makes a
        // committed (and answered) write survive a crash of the machine.
        QSqlQuery pragma(m_db);
        for (const char *statement : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL"}) {
            if (!pragma.exec(QString::fromLatin1(statement))) {
                *error = QStringLiteral("not a usable database file: %1").arg(pragma.lastError().text());
                return false;
            }
        }
    }
    return migrate(error);
}

QString Database::lastServerNotice()
{
    return QString::fromUtf8(std::exchange(t_lastServerNotice, QByteArray()));
}

bool Database::reconnect()
{
    // Opening a connection to an unreachable server waits for the connect
    // time-out, during which this thread answers nothing: attempts are spaced
    // by twice what the last one took, so a server that refuses at once (a
    // restart) is tried every half second and is back within a second of its
    // return, while one that times out is not hammered.
    constexpr qint64 kFirstRetryMs = 500, kLastRetryMs = 30'000;
    if (m_lastReconnect.isValid() && m_lastReconnect.elapsed() < m_retryMs)
        return false;
    m_lastReconnect.start();
    m_db.close();
    if (!m_db.open()) {
        m_retryMs = std::clamp(2 * m_lastReconnect.elapsed(), kFirstRetryMs, kLastRetryMs);
        return false;
    }
    m_retryMs = 0;
    metrics().countReconnect();
    if (m_address.postgres)
        quietSession(m_db);
    return true;
}

int Database::schemaVersion()
{
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("SELECT version FROM schema_version")) || !query.next())
        return -1;
    return query.value(0).toInt();
}

bool Database::migrate(QString *error)
{
    const QString idColumn = m_address.postgres ? QStringLiteral("BIGSERIAL PRIMARY KEY")
                                                : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)"))) {
        *error = QStringLiteral("cannot create the schema: %1").arg(query.lastError().text());
        return false;
    }
    for (const Migration &migration : migrations()) {
        // Each step runs in its own transaction and re-reads the version inside
        // it, so two instances starting together migrate once.
        Transaction transaction(m_db);
        if (!transaction.began()) {
            *error = QStringLiteral("cannot migrate: %1").arg(m_db.lastError().text());
            return false;
        }
        if (m_address.postgres)
            query.exec(QStringLiteral("LOCK TABLE schema_version IN EXCLUSIVE MODE"));
        int current = 0;
        if (query.exec(QStringLiteral("SELECT version FROM schema_version")) && query.next())
            current = query.value(0).toInt();
        if (current > kSchemaVersion) {
            *error = QStringLiteral("the database was made by a newer yanzhou-server (schema %1, this one knows %2)")
                             .arg(current)
                             .arg(kSchemaVersion);
            return false;
        }
        if (current >= migration.version) {
            transaction.commit();
            continue;
        }
        const QStringList statements =
                migration.statements + (m_address.postgres ? migration.postgresOnly : QStringList());
        for (QString statement : statements) {
            statement.replace(QLatin1String("%ID%"), idColumn);
            if (!query.exec(statement)) {
                *error = QStringLiteral("cannot migrate to schema %1: %2")
                                 .arg(migration.version)
                                 .arg(query.lastError().text());
                return false;
            }
        }
        query.exec(QStringLiteral("DELETE FROM schema_version"));
        query.prepare(QStringLiteral("INSERT INTO schema_version (version) VALUES (?)"));
        query.addBindValue(migration.version);
        if (!query.exec() || !transaction.commit()) {
            *error = QStringLiteral("cannot migrate to schema %1: %2")
                             .arg(migration.version)
                             .arg(m_db.lastError().text());
            return false;
        }
    }
    return true;
}

} // namespace yz::server
