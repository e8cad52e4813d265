// The service as a daemon: instances side by side, a listener that cannot
// bind named, SIGHUP and SIGTERM, readiness told to systemd, the database's
// password kept out of the process list, liveness apart from readiness, and
// refusals in the access log and the counters.
#include "server/CommandSupport.h"
#include "server/Database.h"
#include "tests/support/RawHttp.h"
#include "tests/support/ServerUnderTest.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using yztest::get;

namespace {

// "serve" started with exactly the given options; its port once it says so.
class Instance {
public:
    explicit Instance(const QStringList &args,
                      const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
    {
        m_process.setProcessEnvironment(environment);
        m_process.setReadChannel(QProcess::StandardError);
        m_process.start(QStringLiteral(YZ_SERVER), QStringList{QStringLiteral("serve")} + args);
        static const QRegularExpression listening(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"));
        (void)QTest::qWaitFor(
                [&] {
                    m_log += m_process.readAllStandardError();
                    const QRegularExpressionMatch match = listening.match(QString::fromUtf8(m_log));
                    if (match.hasMatch())
                        m_port = match.captured(1).toInt();
                    return m_port != 0 || m_process.state() == QProcess::NotRunning;
                },
                20000);
    }
    ~Instance()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    int port() const { return m_port; }
    QByteArray log()
    {
        m_log += m_process.readAllStandardError();
        return m_log;
    }
    void signal(int number) { ::kill(pid_t(m_process.processId()), number); }
    // The exit status once it has ended by itself, -1 when it did not.
    int waitForExit(int ms = 10000)
    {
        if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(ms))
            return -1;
        if (m_process.exitStatus() != QProcess::NormalExit)
            return -1;
        log();
        return m_process.exitCode();
    }
    bool running() const { return m_process.state() == QProcess::Running; }
    qint64 pid() const { return m_process.processId(); }

private:
    QProcess m_process;
    QByteArray m_log;
    int m_port = 0;
};

QStringList loopback(const QString &db)
{
    return {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--db"), db,
            QStringLiteral("--no-collect")};
}

} // namespace

class TestServerDaemon : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void instancesSideBySide();
    void busyPortIsNamed();
    void reloadOnSighup();
    void gracefulStopKeepsEveryWrite();
    void readinessToldToSystemd();
    void passwordFromAFile();
    void livenessApartFromReadiness();
    void refusalsAreLoggedAndCounted();
    void severalHttpThreads();
};

void TestServerDaemon::instancesSideBySide()
{
    // Told apart by --listen and --db alone: no shared default listener.
    QTemporaryDir dir;
    Instance first(loopback(dir.filePath(QStringLiteral("a.sqlite"))));
    Instance second(loopback(dir.filePath(QStringLiteral("b.sqlite"))));
    QVERIFY2(first.port() && second.port(), (first.log() + second.log()).constData());
    QVERIFY(first.log().contains("no operator listener (--admin-listen)"));
    QCOMPARE(get(second.port(), "/yzupdate/?ver=1").status, 200);
}

void TestServerDaemon::busyPortIsNamed()
{
    QTemporaryDir dir;
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost));
    const QString busy = QStringLiteral("127.0.0.1:%1").arg(taken.serverPort());
    for (const auto &[option, named] : {std::pair{QStringLiteral("--listen"), QByteArray("(--listen)")},
                                        std::pair{QStringLiteral("--admin-listen"), QByteArray("(--admin-listen")}}) {
        QStringList args = loopback(dir.filePath(QStringLiteral("x.sqlite")));
        if (option == u"--listen")
            args[1] = busy;
        else
            args << option << busy;
        Instance refused(args);
        QCOMPARE(refused.waitForExit(), 1);
        QVERIFY2(refused.log().contains("cannot listen on " + busy.toLatin1() + ' ' + named),
                 refused.log().constData());
    }
}

void TestServerDaemon::reloadOnSighup()
{
    QTemporaryDir dir;
    Instance service(loopback(dir.filePath(QStringLiteral("s.sqlite"))));
    QVERIFY(service.port());
    QCOMPARE(get(service.port(), "/yzupdate/?ver=1").status, 200);
    service.signal(SIGHUP);
    QTRY_VERIFY_WITH_TIMEOUT(service.log().contains("reloaded on SIGHUP"), 5000);
    QVERIFY(service.running()); // SIGHUP's default would have ended it (status 129)
    QCOMPARE(get(service.port(), "/yzupdate/?ver=1").status, 200);
}

void TestServerDaemon::gracefulStopKeepsEveryWrite()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("s.sqlite"));
    Instance service(loopback(db) << QStringLiteral("--suggestions-per-hour") << QStringLiteral("1000"));
    QVERIFY(service.port());
    QSet<QByteArray> acknowledged;
    for (int i = 0; i < 40; ++i) {
        const QByteArray text = "s" + QByteArray::number(i);
        if (yztest::post(service.port(), "/yztool/a/", "c=" + text).status == 200)
            acknowledged.insert(text);
    }
    QCOMPARE(acknowledged.size(), 40);
    // A request under way when the signal comes is still answered.
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(service.port()));
    QVERIFY(socket.waitForConnected(5000));
    socket.write("GET /www.example.com HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n");
    QVERIFY(socket.waitForBytesWritten(5000));
    service.signal(SIGTERM);
    QByteArray answer;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(5000))
        answer += socket.readAll();
    answer += socket.readAll();
    QVERIFY2(answer.startsWith("HTTP/1.1 200"), answer.left(200).constData());
    QCOMPARE(service.waitForExit(), 0);
    QVERIFY(service.log().contains("stopping on SIGTERM"));
    // The database file alone, without its write-ahead log, holds them all.
    QTemporaryDir copy;
    const QString alone = copy.filePath(QStringLiteral("alone.sqlite"));
    QVERIFY(QFile::copy(db, alone));
    const auto database = yztest::openDatabase(alone);
    QVERIFY(database);
    QCOMPARE(yztest::storedSuggestions(*database), acknowledged);
}

void TestServerDaemon::readinessToldToSystemd()
{
    // A stand-in for systemd's notification socket.
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("notify")));
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    QVERIFY(fd >= 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    QByteArray heard;
    const auto listen = [&] {
        char buffer[512];
        ssize_t got = 0;
        while ((got = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
            heard += QByteArray(buffer, int(got)) + '|';
    };
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("NOTIFY_SOCKET"), QString::fromLocal8Bit(path));
    Instance service(loopback(dir.filePath(QStringLiteral("s.sqlite"))), environment);
    QVERIFY(service.port());
    QTRY_VERIFY_WITH_TIMEOUT((listen(), heard.contains("READY=1")), 5000);
    service.signal(SIGHUP);
    QTRY_VERIFY_WITH_TIMEOUT((listen(), heard.contains("RELOADING=1")), 5000);
    service.signal(SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT((listen(), heard.contains("STOPPING=1")), 5000);
    QCOMPARE(service.waitForExit(), 0);
    ::close(fd);
}

void TestServerDaemon::passwordFromAFile()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("password"));
    QFile password(file);
    QVERIFY(password.open(QIODevice::WriteOnly));
    password.write("s3cret word\nignored\n");
    password.close();
    QCommandLineParser parser;
    parser.addOptions({yz::server::databaseOption(), yz::server::databasePasswordFileOption()});
    QVERIFY(parser.parse({QStringLiteral("yanzhou-server"), QStringLiteral("--db"),
                          QStringLiteral("postgresql://yanzhou@db.internal/yanzhou"),
                          QStringLiteral("--db-password-file"), file}));
    const yz::server::DatabaseAddress address = yz::server::databaseAddressOf(parser);
    QCOMPARE(address.password, QStringLiteral("s3cret word"));
    QVERIFY(!address.shown().contains(QStringLiteral("s3cret")));
    // A file that cannot be read stops the command.
    QVERIFY(parser.parse({QStringLiteral("yanzhou-server"), QStringLiteral("--db"),
                          QStringLiteral("postgresql://yanzhou@db.internal/yanzhou"),
                          QStringLiteral("--db-password-file"), dir.filePath(QStringLiteral("missing"))}));
    int status = 0;
    try {
        yz::server::databaseAddressOf(parser);
    } catch (const yz::server::CommandError &error) {
        status = yz::server::exitStatusOf(error.kind);
    }
    QCOMPARE(status, 1);

    // On a real server: the password never shows in the process's arguments.
    const QString server = yztest::postgresServer();
    if (server.isEmpty())
        QSKIP("no PostgreSQL server in this run");
    yztest::ThrowawayDatabase db(true);
    Instance service(loopback(db.url()) << QStringLiteral("--db-password-file") << file);
    QVERIFY2(service.port(), service.log().constData());
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(service.pid()));
    QVERIFY(cmdline.open(QIODevice::ReadOnly));
    QVERIFY(!cmdline.readAll().contains("s3cret"));
    QCOMPARE(get(service.port(), "/yzupdate/?ver=1").status, 200);
}

void TestServerDaemon::livenessApartFromReadiness()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("s.sqlite"));
    yztest::ServingProcess service(db);
    QVERIFY(service.started());
    QCOMPARE(get(service.port(), "/yzupdate/?ver=1").status, 200);
    // The home page is read once and then kept until the data changes.
    QCOMPARE(get(service.port(), "/").status, 200);
    QCOMPARE(get(service.port(), "/").status, 200);
    QVERIFY(get(service.adminPort(), "/metrics").body.contains("yanzhou_cache_hits_total{cache=\"home\"} 1\n"));
    QCOMPARE(get(service.adminPort(), "/healthz").body, QByteArray("ok\n"));
    QCOMPARE(get(service.adminPort(), "/readyz").body, QByteArray("ok\n"));
    const auto database = yztest::openDatabase(db);
    QVERIFY(database);
    QSqlQuery(database->db()).exec(QStringLiteral("UPDATE schema_version SET version = 99"));
    const yztest::Answer unready = get(service.adminPort(), "/readyz");
    QCOMPARE(unready.status, 503);
    QVERIFY(unready.body.contains("schema 99"));
    QCOMPARE(get(service.adminPort(), "/healthz").status, 200); // alive all the same
    const QByteArray metrics = get(service.adminPort(), "/metrics").body;
    QVERIFY(metrics.contains("yanzhou_build_info{version=\""));
    QVERIFY(metrics.contains("process_resident_memory_bytes "));
    QVERIFY(metrics.contains("process_open_fds "));
    QVERIFY(metrics.contains("yanzhou_database_up 1\n"));
    QVERIFY(metrics.contains("yanzhou_http_answer_seconds_bucket{le=\"30\"}"));
    QVERIFY(metrics.contains("yanzhou_http_route_answer_seconds_count{route=\"version\"}"));
    QVERIFY(!metrics.contains("yanzhou_collector_budget_remaining -1"));
}

void TestServerDaemon::refusalsAreLoggedAndCounted()
{
    QTemporaryDir dir;
    yztest::ServingProcess service(dir.filePath(QStringLiteral("s.sqlite")),
                                   {QStringLiteral("--log-level"), QStringLiteral("info")});
    QVERIFY(service.started());
    const yztest::Answer tooLarge =
            yztest::exchange(service.port(), "POST /yztool/a/ HTTP/1.1\r\nHost: h\r\nContent-Length: 99999999\r\n\r\n");
    QCOMPARE(tooLarge.status, 413);
    QTRY_VERIFY_WITH_TIMEOUT(service.log().contains(" - - 413 0 refused: "), 5000);
    // Methods by their names, and a path that is no route and no domain by
    // what it is.
    QCOMPARE(yztest::exchange(service.port(), "OPTIONS /yzupdate/ HTTP/1.1\r\nHost: h\r\n\r\n").status, 405);
    QTRY_VERIFY_WITH_TIMEOUT(service.log().contains("127.0.0.1 OPTIONS /yzupdate/ 405"), 5000);
    QCOMPARE(get(service.port(), "/no/such/route").status, 404);
    const QByteArray metrics = get(service.adminPort(), "/metrics").body;
    QVERIFY(metrics.contains("yanzhou_http_requests_total{route=\"refused\",status=\"413\"} 1\n"));
    QVERIFY2(metrics.contains("yanzhou_http_requests_total{route=\"not_found\",status=\"404\"} 1\n"),
             metrics.constData());
}

void TestServerDaemon::severalHttpThreads()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("s.sqlite"));
    yztest::ServingProcess service(db,
                                   {QStringLiteral("--http-threads"), QStringLiteral("2"),
                                    QStringLiteral("--max-connections"), QStringLiteral("4")});
    QVERIFY(service.started());
    const qint64 pid = service.process().processId();
    // Two threads named for what they do.
    int httpThreads = 0;
    for (const QString &task : QDir(QStringLiteral("/proc/%1/task").arg(pid)).entryList(QDir::Dirs)) {
        QFile comm(QStringLiteral("/proc/%1/task/%2/comm").arg(pid).arg(task));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "http")
            ++httpThreads;
    }
    QCOMPARE(httpThreads, 2);

    // Each request on a connection of its own, spread over both threads by
    // the kernel: the version is read once, whichever thread answers.
    for (int i = 0; i < 20; ++i)
        QCOMPARE(get(service.port(), "/yzupdate/?ver=1").body, QByteArray("200912230"));
    QByteArray metrics = get(service.adminPort(), "/metrics").body;
    QVERIFY2(metrics.contains("yanzhou_cache_hits_total{cache=\"version\"} 19\n"), metrics.constData());
    QVERIFY(metrics.contains("yanzhou_cache_misses_total{cache=\"version\"} 1\n"));

    // --max-connections bounds the threads together, not each, even when
    // both take their last places at once.
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < 32; ++i) {
        clients.push_back(std::make_unique<QTcpSocket>());
        clients.back()->connectToHost(QHostAddress::LocalHost, quint16(service.port()));
        QVERIFY(clients.back()->waitForConnected(5000));
    }
    QTRY_VERIFY_WITH_TIMEOUT(get(service.adminPort(), "/metrics").body.contains("yanzhou_open_connections 4\n"), 5000);
    QTest::qWait(200);
    metrics = get(service.adminPort(), "/metrics").body;
    QVERIFY2(metrics.contains("yanzhou_open_connections 4\n"), metrics.constData());
    clients.clear();

    // The shared port is this instance's: another one asking for it is
    // refused, naming the listener, however many threads it asks for.
    Instance second({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(service.port()),
                     QStringLiteral("--db"), dir.filePath(QStringLiteral("b.sqlite")), QStringLiteral("--no-collect"),
                     QStringLiteral("--http-threads"), QStringLiteral("2")});
    QCOMPARE(second.waitForExit(), 1);
    QVERIFY2(second.log().contains("(--listen)"), second.log().constData());

    // A graceful stop ends every thread.
    ::kill(pid_t(pid), SIGTERM);
    QVERIFY(service.process().waitForFinished(10000));
    QCOMPARE(service.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(service.process().exitCode(), 0);
}

QTEST_MAIN(TestServerDaemon)
#include "tst_serverdaemon.moc"
