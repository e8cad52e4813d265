#pragma once

// The real yanzhou-server as tests and benchmarks use it: a throw-away
// database on either backend, the operator commands, and a serving process on
// a free loopback port.
#include "server/Database.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <atomic>
#include <memory>

namespace yztest {

// Where PostgreSQL tests run: "postgresql://user@host:port" of a server the
// test run started (scripts/with-postgres.sh), or empty.
inline QString postgresServer()
{
    return qEnvironmentVariable("YZ_TEST_POSTGRES");
}

// A fresh, empty database: a SQLite file in a temporary directory, or a new
// database on the test PostgreSQL server, dropped again at the end.
class ThrowawayDatabase {
public:
    explicit ThrowawayDatabase(bool postgres)
        : m_postgres(postgres)
    {
        static std::atomic<int> counter{0};
        if (!postgres) {
            m_url = m_dir.filePath(QStringLiteral("service.sqlite"));
            return;
        }
        m_name = QStringLiteral("yztest_%1_%2").arg(QCoreApplication::applicationPid()).arg(counter++);
        run(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(m_name));
        if (run(QStringLiteral("CREATE DATABASE %1").arg(m_name)))
            m_url = postgresServer() + u'/' + m_name;
    }

    ~ThrowawayDatabase()
    {
        if (m_postgres && !m_name.isEmpty())
            run(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_name));
    }

    // The --db argument; empty when the database could not be made.
    QString url() const { return m_url; }
    QString dir() const { return m_dir.path(); }

private:
    // One statement on the server's maintenance database.
    static bool run(const QString &statement)
    {
        const QUrl server(postgresServer());
        bool ok = false;
        {
            QSqlDatabase admin = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("yztest-admin"));
            admin.setHostName(server.host());
            admin.setPort(server.port(5432));
            admin.setUserName(server.userName());
            admin.setDatabaseName(QStringLiteral("postgres"));
            if (admin.open()) {
                QSqlQuery query(admin);
                query.exec(QStringLiteral("SET client_min_messages TO WARNING"));
                ok = query.exec(statement);
            }
            admin.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("yztest-admin"));
        return ok;
    }

    bool m_postgres;
    QTemporaryDir m_dir;
    QString m_name;
    QString m_url;
};

// The database at a --db address, opened and migrated; null (with a
// warning) when it cannot be.
inline std::unique_ptr<yz::server::Database> openDatabase(const QString &url)
{
    yz::server::DatabaseAddress address;
    QString error;
    auto database = yz::server::DatabaseAddress::parse(url, &address, &error)
            ? std::make_unique<yz::server::Database>(address)
            : nullptr;
    if (!database || !database->open(&error)) {
        qWarning("cannot open %s: %s", qPrintable(url), qPrintable(error));
        return nullptr;
    }
    return database;
}

struct CommandResult {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs "yanzhou-server ARGS --db DB", standard input fed from `input`.
inline CommandResult serverCommand(const QString &db, QStringList args, const QByteArray &input = {})
{
    args << QStringLiteral("--db") << db;
    QProcess process;
    process.start(QStringLiteral(YZ_SERVER), args);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

// "yanzhou-server serve" on a free loopback port until destroyed.
class ServingProcess {
public:
    // Without `collect`, the instance leaves collecting to others.
    explicit ServingProcess(const QString &db, const QStringList &extra = {}, bool collect = false)
    {
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.setReadChannel(QProcess::StandardError);
        m_process.start(QStringLiteral(YZ_SERVER),
                        QStringList{QStringLiteral("serve"), QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                                    QStringLiteral("--admin-listen"), QStringLiteral("127.0.0.1:0"),
                                    QStringLiteral("--db"), db}
                                + (collect ? QStringList() : QStringList{QStringLiteral("--no-collect")})
                                // A test that does not read the log while it floods the service would
                                // stall it on a full pipe: the access log is left out unless the
                                // test sets the logging itself.
                                + (extra.contains(QStringLiteral("--log-level"))
                                           ? QStringList()
                                           : QStringList{QStringLiteral("--no-access-log")})
                                + extra);
        static const QRegularExpression listening(
                QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+), /healthz and /metrics on 127\\.0\\.0\\.1:(\\d+)"));
        // Waits with the event loop turning, so that servers of the test
        // process (a fake service, a relay) go on answering meanwhile.
        QByteArray seen;
        (void)QTest::qWaitFor(
                [&] {
                    seen += m_process.readAllStandardError();
                    const QRegularExpressionMatch match = listening.match(QString::fromUtf8(seen));
                    if (match.hasMatch()) {
                        m_port = match.captured(1).toInt();
                        m_adminPort = match.captured(2).toInt();
                    }
                    return m_port != 0 || m_process.state() == QProcess::NotRunning;
                },
                20000);
        if (m_port == 0)
            qWarning("yanzhou-server did not start: %s", seen.constData());
        m_log = seen;
    }

    ~ServingProcess()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

    bool started() const { return m_port != 0; }
    int port() const { return m_port; }
    int adminPort() const { return m_adminPort; }
    // What the process has written to its standard error so far.
    QByteArray log()
    {
        m_log += m_process.readAllStandardError();
        return m_log;
    }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    QProcess &process() { return m_process; }

private:
    QProcess m_process;
    int m_port = 0;
    int m_adminPort = 0;
    QByteArray m_log;
};

// Writes an endpoints file that points Baidu at a fake server on `port` and
// returns its path.
inline QString writeBaiduEndpoints(const QString &dir, quint16 port)
{
    const QString path = dir + QStringLiteral("/endpoints.json");
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(QStringLiteral("{\"baidu\": \"http://127.0.0.1:%1\"}").arg(port).toUtf8());
    return path;
}

// The suggestions a service database holds, after checking that the file is
// whole; empty (with a failed check) when it is not.
inline QSet<QByteArray> storedSuggestions(yz::server::Database &database)
{
    QSet<QByteArray> stored;
    QSqlQuery query(database.db());
    if (!query.exec(QStringLiteral("PRAGMA integrity_check")) || !query.next()
        || query.value(0).toString() != QStringLiteral("ok")) {
        qWarning("the database is damaged");
        return stored;
    }
    if (query.exec(QStringLiteral("SELECT body FROM suggestions")))
        while (query.next())
            stored.insert(query.value(0).toString().toUtf8());
    return stored;
}

// The backends a storage or endpoint test runs on: SQLite always, PostgreSQL
// when the run has a server. QTest data rows named "sqlite" and "postgresql".
inline void addBackendRows()
{
    QTest::addColumn<bool>("postgres");
    QTest::newRow("sqlite") << false;
    if (!postgresServer().isEmpty())
        QTest::newRow("postgresql") << true;
}

} // namespace yztest
