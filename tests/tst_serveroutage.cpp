// The service while its database is frozen, restarted or busy: cached
// answers go on at once, answers that need the database fail fast with 503,
// and everything, the collector included, comes back with the database.
#include "tests/support/FakeHttpServer.h"
#include "tests/support/PostgresCluster.h"
#include "tests/support/SamplePages.h"
#include "tests/support/ServerUnderTest.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTest>

namespace {

struct Timed {
    int status = 0;
    qint64 ms = 0;
};

// One GET on a new connection, waiting with the event loop turning (the fake
// Baidu lives in this process).
Timed timedRequest(int port, const QByteArray &request)
{
    QElapsedTimer clock;
    clock.start();
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
    socket.write(request);
    QByteArray data;
    (void)QTest::qWaitFor(
            [&] {
                data += socket.readAll();
                return data.contains("\r\n\r\n") || socket.state() == QAbstractSocket::UnconnectedState;
            },
            15000);
    return {data.mid(9, 3).toInt(), clock.elapsed()};
}

Timed timedGet(int port, const QByteArray &target)
{
    return timedRequest(port, "GET " + target + " HTTP/1.1\r\nHost: h\r\n\r\n");
}

Timed timedSuggestion(int port, const QByteArray &text)
{
    const QByteArray body = "c=" + text;
    return timedRequest(port,
                        "POST /yztool/a/ HTTP/1.1\r\nHost: h\r\nContent-Length: " + QByteArray::number(body.size())
                                + "\r\n\r\n" + body);
}

} // namespace

class TestServerOutage : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void frozenAndRestartedPostgres()
    {
        yztest::PostgresCluster cluster;
        if (!cluster.ok())
            QSKIP("cannot start a PostgreSQL server of the test's own");
        yztest::FakeHttpServer baidu;
        baidu.setResponse(yztest::ok(yztest::gbk(QStringLiteral("<div>百度为您找到相关网页约1,234篇</div>"))));
        QTemporaryDir dir;
        const QString endpoints = yztest::writeBaiduEndpoints(dir.path(), baidu.port());
        yztest::ServingProcess server(cluster.url(),
                                      {QStringLiteral("--endpoints"), endpoints, QStringLiteral("--collect-interval"),
                                       QStringLiteral("1"), QStringLiteral("--collect-rate"), QStringLiteral("100")},
                                      true);
        QVERIFY(server.started());
        const int port = server.port();
        QCOMPARE(timedGet(port, "/yzupdate/?ver=1").status, 200); // now cached
        QCOMPARE(timedGet(port, "/").status, 200); // the home page too

        // Frozen: the cached answer stays immediate, one that needs the
        // database is refused within a second, and the service never stalls.
        cluster.pause();
        qint64 slowest = 0;
        for (int i = 0; i < 40; ++i) {
            const Timed cached = timedGet(port, "/yzupdate/?ver=1");
            QCOMPARE(cached.status, 200);
            slowest = std::max(slowest, cached.ms);
            if (i % 10 == 0) {
                const Timed uncached = timedGet(port, "/frozen" + QByteArray::number(i) + ".example");
                QCOMPARE(uncached.status, 503);
                QVERIFY2(uncached.ms < 1500, qPrintable(QString::number(uncached.ms)));
            }
        }
        QVERIFY2(slowest < 300, qPrintable(QStringLiteral("a cached answer took %1 ms").arg(slowest)));
        // The operator's readiness check says so, as quickly, while the
        // process stays alive for a balancer.
        const Timed health = timedGet(server.adminPort(), "/readyz");
        QCOMPARE(health.status, 503);
        QVERIFY2(health.ms < 1500, qPrintable(QString::number(health.ms)));
        QCOMPARE(timedGet(server.adminPort(), "/healthz").status, 200);
        cluster.resume();
        QTRY_COMPARE_WITH_TIMEOUT(timedGet(port, "/thawed.example").status, 200, 10000);

        // Restarted: the service and its collector both come back.
        QVERIFY(cluster.stop());
        QCOMPARE(timedGet(port, "/down.example").status, 503);
        QCOMPARE(timedGet(port, "/yzupdate/?ver=1").status, 200);
        QCOMPARE(timedGet(port, "/").status, 200);
        QVERIFY(cluster.start());
        // Back within two seconds of the database's return, without a
        // request having to fail first.
        QElapsedTimer back;
        back.start();
        QTRY_COMPARE_WITH_TIMEOUT(timedGet(server.adminPort(), "/readyz").status, 200, 15000);
        QVERIFY2(back.elapsed() < 2000, qPrintable(QStringLiteral("ready again after %1 ms").arg(back.elapsed())));
        QCOMPARE(timedGet(port, "/up.example").status, 200);
        // The log says what happened in words, not in Qt's SQL warnings.
        QTRY_VERIFY(server.log().contains("connected to the database again after"));
        QVERIFY(server.log().contains("lost the connection to the database"));
        const QByteArray log = server.log();
        // Nothing raw from libpq either: every line is the service's own.
        QVERIFY2(!log.contains("QSqlQuery") && !log.contains("QSocketNotifier") && !log.contains("\nFATAL:"),
                 log.constData());
        // The loss is one warning with the server's reason.
        QVERIFY2(log.contains("warning: lost the connection to the database (FATAL: terminating connection"),
                 log.constData());
        QCOMPARE(yztest::serverCommand(cluster.url(),
                                       {QStringLiteral("domains"), QStringLiteral("add"),
                                        QStringLiteral("back.example")})
                         .status,
                 0);
        QTRY_VERIFY_WITH_TIMEOUT(std::any_of(baidu.requests().cbegin(), baidu.requests().cend(),
                                             [](const yztest::RecordedRequest &r) {
                                                 return r.target.contains("back.example");
                                             }),
                                 40000);
        QCOMPARE(server.process().state(), QProcess::Running);
    }

    // A write waiting for SQLite's lock (a ranks import holds it) does not
    // hold up cached answers.
    void lockedSqlite()
    {
        yztest::ThrowawayDatabase db(false);
        yztest::ServingProcess server(db.url(), {QStringLiteral("--suggestions-per-hour"), QStringLiteral("1000")});
        QVERIFY(server.started());
        const int port = server.port();
        QCOMPARE(timedGet(port, "/yzupdate/?ver=1").status, 200);
        QByteArray ranks;
        for (int i = 1; i <= 600'000; ++i)
            ranks += QByteArray::number(i) + "\t1\t1\t1\texample.site" + QByteArray::number(i) + '\n';
        QProcess import;
        import.start(QStringLiteral(YZ_SERVER),
                     {QStringLiteral("ranks"), QStringLiteral("import"), QStringLiteral("-"), QStringLiteral("--db"),
                      db.url()});
        QVERIFY(import.waitForStarted());
        import.write(ranks);
        import.closeWriteChannel();
        qint64 slowest = 0;
        int answered = 0;
        while (import.state() == QProcess::Running && answered < 200) {
            const Timed cached = timedGet(port, "/yzupdate/?ver=1");
            QCOMPARE(cached.status, 200);
            slowest = std::max(slowest, cached.ms);
            ++answered;
            // A write in the meantime: answered (stored or refused), never hanging.
            if (answered % 20 == 0) {
                const Timed write = timedSuggestion(port, "during the import");
                QVERIFY(write.status == 200 || write.status == 503);
                QVERIFY2(write.ms < 1500, qPrintable(QString::number(write.ms)));
            }
        }
        QVERIFY(import.state() == QProcess::NotRunning || import.waitForFinished(60000));
        QCOMPARE(import.exitCode(), 0);
        QVERIFY(answered > 5); // the answers overlapped the import
        QVERIFY2(slowest < 300, qPrintable(QStringLiteral("a cached answer took %1 ms").arg(slowest)));
    }
};

QTEST_GUILESS_MAIN(TestServerOutage)
#include "tst_serveroutage.moc"
