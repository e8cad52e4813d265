// Operating the service: its log lines, the access log, health and metrics on
// the operator's listener, the package file it offers, and the operator
// commands' table, help and refusals.
#include "net/ProgramVersion.h"
#include "server/Downloads.h"
#include "server/Log.h"
#include "server/VendorStore.h"
#include "tests/support/RawHttp.h"
#include "tests/support/ServerUnderTest.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using yztest::get;
using yztest::post;
using namespace yz::server;

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// "serve" with its standard error in a file, as systemd hands the journal's
// stream over: JOURNAL_STREAM names that file's device and inode.
class JournalledService {
public:
    JournalledService(const QString &db, const QString &logFile, const QStringList &extra)
    {
        // A free port, so that a service that logs nothing can be found too.
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        m_port = probe.serverPort();
        probe.close();
        writeFile(logFile, {});
        struct stat info { };
        ::stat(QFile::encodeName(logFile).constData(), &info);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("JOURNAL_STREAM"),
                           QStringLiteral("%1:%2").arg(quint64(info.st_dev)).arg(quint64(info.st_ino)));
        environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        m_process.setProcessEnvironment(environment);
        m_process.setStandardErrorFile(logFile, QIODevice::Append);
        m_process.start(QStringLiteral(YZ_SERVER),
                        QStringList{QStringLiteral("serve"), QStringLiteral("--listen"),
                                    QStringLiteral("127.0.0.1:%1").arg(m_port), QStringLiteral("--admin-listen"),
                                    QStringLiteral("127.0.0.1:0"), QStringLiteral("--no-collect"),
                                    QStringLiteral("--db"), db}
                                + extra);
        const bool up = QTest::qWaitFor(
                [&] {
                    QTcpSocket socket;
                    socket.connectToHost(QHostAddress::LocalHost, quint16(m_port));
                    return socket.waitForConnected(200) || m_process.state() == QProcess::NotRunning;
                },
                20000);
        if (!up || m_process.state() == QProcess::NotRunning)
            m_port = 0;
    }
    ~JournalledService()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    int port() const { return m_port; }

private:
    QProcess m_process;
    int m_port = 0;
};

QString promtool()
{
    const QString configured = qEnvironmentVariable("YZ_PROMTOOL");
    return configured.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("promtool")) : configured;
}

} // namespace

class TestServerOps : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void logLines()
    {
        const QDateTime at(QDate(2026, 12, 8), QTime(9, 30, 0, 123), Qt::UTC);
        QCOMPARE(formatLogLine(LogLevel::Warning, QStringLiteral("lost"), true, at), QStringLiteral("<4>lost\n"));
        QCOMPARE(formatLogLine(LogLevel::Error, QStringLiteral("x"), true, at), QStringLiteral("<3>x\n"));
        QCOMPARE(formatLogLine(LogLevel::Info, QStringLiteral("up"), false, at),
                 QStringLiteral("2026-12-08T09:30:00.123Z info: up\n"));
        // One event, one line, nothing that steers a terminal.
        const QString line = formatLogLine(LogLevel::Debug, QStringLiteral("a\nb\x1b[2J\u202e"), true, at);
        QCOMPARE(line.count(u'\n'), 1);
        QVERIFY(line.startsWith(QLatin1String("<7>a b")));
        QVERIFY(!line.contains(u'\x1b') && !line.contains(u'\u202e'));
        QCOMPARE(parseLogLevel(QStringLiteral("warning")), std::optional(LogLevel::Warning));
        QVERIFY(!parseLogLevel(QStringLiteral("verbose")));
    }

    void newestPackageIsOffered()
    {
        QVERIFY(compareDebianVersions(QStringLiteral("200912230"), QStringLiteral("2009.12.230")) > 0);
        QVERIFY(compareDebianVersions(QStringLiteral("1.10"), QStringLiteral("1.9")) > 0);
        QVERIFY(compareDebianVersions(QStringLiteral("1.0~rc1"), QStringLiteral("1.0")) < 0);
        QVERIFY(compareDebianVersions(QStringLiteral("1.0a"), QStringLiteral("1.0+")) < 0);
        QCOMPARE(compareDebianVersions(QStringLiteral("1.01"), QStringLiteral("1.1")), 0);

        QTemporaryDir dir;
        for (const char *name : {"yanzhou_amd64.deb", "yanzhou_200912229_amd64.deb", "yanzhou_99_amd64.deb",
                                 "yanzhou_x_amd64.deb", "yanzhou-dbgsym_300000000_amd64.deb"})
            writeFile(dir.filePath(QLatin1String(name)), name);
        QCOMPARE(QFileInfo(newestPackage(dir.path())).fileName(), QStringLiteral("yanzhou_200912229_amd64.deb"));

        // The service offers it under the fixed name the window links to.
        writeFile(dir.filePath(QStringLiteral("yanzhou_200912230_amd64.deb")), "newest");
        yztest::ThrowawayDatabase db(false);
        yztest::ServingProcess server(db.url(), {QStringLiteral("--downloads"), dir.path()});
        QVERIFY(server.started());
        QVERIFY(get(server.port(), "/?update").body.contains("href=\"/download/yanzhou_amd64.deb\""));
        QCOMPARE(get(server.port(), "/download/yanzhou_amd64.deb").body, QByteArray("newest"));
        QCOMPARE(get(server.port(), "/download/yanzhou_200912229_amd64.deb").status, 404);
    }

    // Under systemd: the journal's priorities, no time of our own, nothing
    // from Qt at start, and --log-level leaves out what is below it.
    void journalLines()
    {
        yztest::ThrowawayDatabase db(false);
        const QString log = db.dir() + QStringLiteral("/journal");
        {
            JournalledService service(db.url(), log, {});
            QVERIFY(service.port());
            QCOMPARE(get(service.port(), "/yzupdate/?ver=1").status, 200);
            QTRY_VERIFY(readFile(log).contains("GET /yzupdate/?ver=1 200"));
        }
        const QList<QByteArray> lines = readFile(log).trimmed().split('\n');
        for (const QByteArray &line : lines)
            QVERIFY2(QRegularExpression(QStringLiteral("^<[3-7]>[^<]")).match(QString::fromUtf8(line)).hasMatch(),
                     line.constData());
        QVERIFY2(lines.first().startsWith("<6>listening on 127.0.0.1:"), lines.first().constData());
        QVERIFY(QRegularExpression(QStringLiteral("^<6>127\\.0\\.0\\.1 GET /yzupdate/\\?ver=1 200 9 [0-9.]+ms$"))
                        .match(QString::fromUtf8(lines.last()))
                        .hasMatch());
        QVERIFY(!readFile(log).contains("QStandardPaths"));

        const QString quiet = db.dir() + QStringLiteral("/quiet");
        {
            JournalledService service(db.url(), quiet, {QStringLiteral("--log-level"), QStringLiteral("warning")});
            QVERIFY(service.port());
            QCOMPARE(get(service.port(), "/yzupdate/?ver=1").status, 200);
        }
        QCOMPARE(readFile(quiet), QByteArray());
    }

    // An access line per request, cut and printable; refusals logged and in
    // Chinese whether or not the access log is on.
    void accessLogAndRefusals()
    {
        for (const bool accessLog : {true, false}) {
            yztest::ThrowawayDatabase db(false);
            QStringList options = {QStringLiteral("--log-level"), QStringLiteral("info"),
                                   QStringLiteral("--suggestions-per-hour"), QStringLiteral("1")};
            if (!accessLog)
                options << QStringLiteral("--no-access-log");
            yztest::ServingProcess server(db.url(), options);
            QVERIFY(server.started());
            const QByteArray longPath = "/" + QByteArray(300, 'a') + "%1B%5B2J";
            QCOMPARE(get(server.port(), longPath).status, 404);
            QCOMPARE(post(server.port(), "/yztool/a/", "c=one").status, 200);
            const yztest::Answer refused = post(server.port(), "/yztool/a/", "c=two");
            QCOMPARE(refused.status, 429);
            QVERIFY(QString::fromUtf8(refused.body).contains(QStringLiteral("请一小时后再试")));
            const yztest::Answer tooLarge =
                    yztest::exchange(server.port(),
                                     "POST /yztool/a/ HTTP/1.1\r\nHost: h\r\nContent-Length: 999999\r\n\r\n");
            QCOMPARE(tooLarge.status, 413);
            QCOMPARE(QString::fromUtf8(tooLarge.body), QStringLiteral("请求太大。\n"));
            QTRY_VERIFY(server.log().contains("refused 127.0.0.1: 413"));
            QTRY_VERIFY(server.log().contains("suggestion refused: 127.0.0.1 reached --suggestions-per-hour"));
            const QByteArray log = server.log();
            QCOMPARE(log.contains("127.0.0.1 GET /" + QByteArray(199, 'a') + "... 404 "), accessLog);
            QCOMPARE(log.contains("127.0.0.1 POST /yztool/a/ 429 "), accessLog);
            QVERIFY(!log.contains('\x1b'));
        }
    }

    // Health and metrics on the operator's listener only; promtool takes the
    // metrics; a schema this program does not know makes the health 503.
    void healthAndMetrics()
    {
        yztest::ThrowawayDatabase db(false);
        yztest::ServingProcess server(db.url());
        QVERIFY(server.started() && server.adminPort());
        const int admin = server.adminPort();
        const yztest::Answer health = get(admin, "/healthz");
        QCOMPARE(health.status, 200);
        QCOMPARE(health.body, QByteArray("ok\n"));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(get(server.port(), "/yzupdate/?ver=1").status, 200);
        QVERIFY(!get(server.port(), "/metrics").body.contains("yanzhou_"));
        QVERIFY(!get(server.port(), "/healthz").body.startsWith("ok"));

        const QByteArray metrics = get(admin, "/metrics").body;
        QVERIFY2(metrics.contains("yanzhou_http_requests_total{route=\"version\",status=\"200\"} 3\n"),
                 metrics.constData());
        QVERIFY(metrics.contains("yanzhou_cache_hits_total{cache=\"version\"} 2\n"));
        QVERIFY(metrics.contains("yanzhou_http_answer_seconds_count 5\n"));
        QVERIFY(metrics.contains("yanzhou_refusals_total{limit=\"too_large\"} 0\n"));
        QVERIFY(metrics.contains("yanzhou_open_connections "));
        const auto database = yztest::openDatabase(db.url());
        QVERIFY(database);
        QSqlQuery(database->db()).exec(QStringLiteral("UPDATE schema_version SET version = 99"));
        const yztest::Answer sick = get(admin, "/readyz");
        QCOMPARE(sick.status, 503);
        QCOMPARE(sick.body, QByteArray("the database has schema 99, this program knows 5\n"));

        const QString tool = promtool();
        if (tool.isEmpty())
            QSKIP("promtool not found (scripts/promtool.sh fetches it; YZ_PROMTOOL names it)");
        QProcess check;
        check.start(tool, {QStringLiteral("check"), QStringLiteral("metrics")});
        check.write(metrics);
        check.closeWriteChannel();
        QVERIFY(check.waitForFinished(30000));
        QVERIFY2(check.exitCode() == 0, (check.readAllStandardOutput() + check.readAllStandardError()).constData());
    }

    // The pages a visitor reads: a lookup box, a large chart with dates and
    // counts, the history a page at a time; looking tracks nothing.
    void pagesForVisitors()
    {
        yztest::ThrowawayDatabase db(false);
        {
            const auto database = yztest::openDatabase(db.url());
            QVERIFY(database);
            VendorStore store(*database);
            for (int i = 0; i < 70; ++i)
                QVERIFY(store.addHistory(QStringLiteral("www.example.com"), QDate(2026, 9, 1).addDays(i), 1000 + i));
        }
        QCOMPARE(yztest::serverCommand(db.url(),
                                       {QStringLiteral("domains"), QStringLiteral("add"),
                                        QStringLiteral("new.example")})
                         .status,
                 0);
        yztest::ServingProcess server(db.url());
        QVERIFY(server.started());
        const int port = server.port();
        const QByteArray home = get(port, "/").body;
        QVERIFY(home.contains("<form method=\"get\" action=\"/lookup\""));
        QVERIFY(home.contains("name=\"domain\""));
        yztest::Answer a = get(port, "/lookup?domain=HTTP%3A%2F%2FWWW.Example.COM%2Fx");
        QCOMPARE(a.status, 303);
        QCOMPARE(a.header("Location"), QByteArray("/www.example.com"));
        a = get(port, "/lookup?domain=bad_domain%3Cb%3E");
        QCOMPARE(a.status, 400);
        QVERIFY(QString::fromUtf8(a.body).contains(QStringLiteral("这不是一个有效的域名")));
        QVERIFY(a.body.contains("value=\"bad_domain&lt;b&gt;\""));

        const QByteArray first = get(port, "/www.example.com").body;
        QVERIFY(first.contains("<img class=\"chart\" src=\"/chart/www.example.com.png\" width=\"720\" height=\"300\""));
        QVERIFY(!first.contains("yzclientthumb"));
        QCOMPARE(first.count("<tr><td>"), 30);
        QVERIFY(first.contains("<td>2026-11-09</td><td>1,069</td>")); // the newest first
        QVERIFY(!first.contains("<td>2026-10-10</td>"));
        QVERIFY(first.contains("href=\"/www.example.com?page=2\" rel=\"next\""));
        const QByteArray last = get(port, "/www.example.com?page=3").body;
        QCOMPARE(last.count("<tr><td>"), 10);
        QVERIFY(last.contains("<td>2026-09-01</td>") && last.contains("rel=\"prev\"")
                && !last.contains("rel=\"next\""));
        QCOMPARE(get(port, "/www.example.com?page=99").body, last);

        a = get(port, "/chart/www.example.com.png");
        QCOMPARE(a.status, 200);
        QCOMPARE(a.header("Content-Type"), QByteArray("image/png"));
        const QImage chart = QImage::fromData(a.body, "PNG");
        QCOMPARE(chart.size(), QSize(720, 300));
        QCOMPARE(get(port, "/chart/nothing.png").status, 404);
        QCOMPARE(get(port, "/chart/a.com.jpg").status, 404);
        QVERIFY(!QImage::fromData(get(port, "/chart/unknown.example.png").body, "PNG").isNull());

        // Reading the page and its chart tracked nothing; a registered
        // domain without data says when its first count is due.
        const QByteArray listed =
                yztest::serverCommand(db.url(), {QStringLiteral("domains"), QStringLiteral("list")}).out;
        QVERIFY2(!listed.contains("www.example.com") && !listed.contains("unknown.example"), listed.constData());
        QVERIFY(QString::fromUtf8(get(port, "/new.example").body).contains(QStringLiteral("已登记。第一次记录：")));
        QVERIFY(!QString::fromUtf8(get(port, "/www.example.com").body).contains(QStringLiteral("已登记")));
    }

    // The command table: --help lists every command, each has its own help,
    // and a wrong word gets one line.
    void commandTable()
    {
        yztest::ThrowawayDatabase db(false);
        const auto run = [&db](const QStringList &args) { return yztest::serverCommand(db.url(), args); };
        const yztest::CommandResult version = run({QStringLiteral("--version")});
        QCOMPARE(version.status, 0);
        QCOMPARE(version.out, QByteArray("yanzhou-server " + QByteArray::number(yz::kProgramVersion) + '\n'));
        const yztest::CommandResult help = run({QStringLiteral("--help")});
        QCOMPARE(help.status, 0);
        for (const char *command : {"serve", "version set N", "news move ID POSITION", "ranks import", "backup FILE",
                                    "domains list", "collect", "rules health"})
            QVERIFY2(help.out.contains(QByteArray("\n  ") + command), command);
        const yztest::CommandResult newsHelp =
                run({QStringLiteral("news"), QStringLiteral("add"), QStringLiteral("--help")});
        QCOMPARE(newsHelp.status, 0);
        QVERIFY(newsHelp.out.startsWith("Usage: yanzhou-server news add TITLE ADDRESS\n"));
        QVERIFY(newsHelp.out.contains("--db <URL>"));
        const yztest::CommandResult serveHelp = run({QStringLiteral("serve"), QStringLiteral("--help")});
        QVERIFY(serveHelp.out.contains("(default: 512)") && serveHelp.out.contains("127.0.0.1:8081 (default: none)"));
        for (const QStringList &wrong :
             {QStringList{QStringLiteral("frobnicate")}, QStringList{QStringLiteral("news"), QStringLiteral("bogus")},
              QStringList{QStringLiteral("news"), QStringLiteral("add")}}) {
            const yztest::CommandResult r = run(wrong);
            QCOMPARE(r.status, 2);
            QCOMPARE(r.err.count('\n'), 1);
        }
        QVERIFY(run({QStringLiteral("news"), QStringLiteral("bogus")})
                        .err.contains("news add TITLE ADDRESS | news list"));
    }

    // A command that only reads does not make an empty database where none
    // is, and says which file it looked for.
    void readingCommandsNeedTheDatabase()
    {
        QTemporaryDir dir;
        const QString missing = dir.filePath(QStringLiteral("nothing-here.sqlite"));
        for (const QStringList &args :
             {QStringList{QStringLiteral("version"), QStringLiteral("show")},
              QStringList{QStringLiteral("news"), QStringLiteral("list")}, QStringList{QStringLiteral("suggestions")},
              QStringList{QStringLiteral("domains"), QStringLiteral("list")},
              QStringList{QStringLiteral("rules"), QStringLiteral("health")},
              QStringList{QStringLiteral("backup"), dir.filePath(QStringLiteral("copy"))}}) {
            const yztest::CommandResult r = yztest::serverCommand(missing, args);
            QCOMPARE(r.status, 1);
            QVERIFY2(r.err.contains("no database at " + missing.toUtf8()), r.err.constData());
            QVERIFY(!QFileInfo::exists(missing));
        }
        QCOMPARE(yztest::serverCommand(missing, {QStringLiteral("version"), QStringLiteral("set"), QStringLiteral("5")})
                         .status,
                 0);
        QCOMPARE(yztest::serverCommand(missing, {QStringLiteral("version"), QStringLiteral("show")}).out,
                 QByteArray("5\n"));
        // A file that cannot be made is named too.
        const yztest::CommandResult r =
                yztest::serverCommand(dir.filePath(QStringLiteral("no/such/dir.sqlite")),
                                      {QStringLiteral("history"), QStringLiteral("add"), QStringLiteral("a.com"),
                                       QStringLiteral("2026-12-01"), QStringLiteral("5")});
        QCOMPARE(r.status, 1);
        QVERIFY(r.err.contains("no/such/dir.sqlite"));
    }
};

QTEST_GUILESS_MAIN(TestServerOps)
#include "tst_serverops.moc"
