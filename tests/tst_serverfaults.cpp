// The service killed at random moments while it writes: the database always
// opens again and keeps every write that was answered with 200.
#include "server/Database.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/SamplePages.h"
#include "tests/support/ServerUnderTest.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTest>

#include <csignal>

using namespace yz::server;

class TestServerFaults : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void killedWhileWriting()
    {
        yztest::ThrowawayDatabase db(false);
        // Baidu answers every count at once, so the collector writes history
        // rows as fast as it may while suggestions arrive.
        yztest::FakeHttpServer baidu;
        baidu.setResponse(yztest::ok(yztest::gbk(QStringLiteral("百度为您找到相关网页约7篇"))));
        const QString endpoints = yztest::writeBaiduEndpoints(db.dir(), baidu.port());
        for (int i = 0; i < 400; ++i)
            QCOMPARE(yztest::serverCommand(db.url(),
                                           {QStringLiteral("domains"), QStringLiteral("add"),
                                            QStringLiteral("d%1.example").arg(i)})
                             .status,
                     0);

        QSet<QByteArray> answered;
        int sent = 0;
        constexpr int kKills = 200;
        for (int kill = 0; kill < kKills; ++kill) {
            yztest::ServingProcess server(db.url(),
                                          {QStringLiteral("--endpoints"), endpoints, QStringLiteral("--collect-rate"),
                                           QStringLiteral("1000"), QStringLiteral("--suggestions-per-hour"),
                                           QStringLiteral("1000000")},
                                          true);
            QVERIFY2(server.started(), "the database must always open again");
            // Suggestions one after the other until the kill, which comes at
            // a random moment, often in the middle of a request.
            const int killAfterMs = QRandomGenerator::global()->bounded(5, 120);
            QElapsedTimer clock;
            clock.start();
            QTcpSocket socket;
            socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(server.port()));
            QVERIFY(socket.waitForConnected(5000));
            // Waits turn the event loop, so the fake Baidu of this process answers.
            const auto readUntil = [&socket](QByteArray &reply, auto complete) {
                (void)QTest::qWaitFor(
                        [&] {
                            reply += socket.readAll();
                            return complete() || socket.state() != QAbstractSocket::ConnectedState;
                        },
                        2000);
            };
            while (clock.elapsed() < killAfterMs) {
                const QByteArray text = "k" + QByteArray::number(kill) + "n" + QByteArray::number(sent++);
                const QByteArray body = "c=" + text;
                socket.write("POST /yztool/a/ HTTP/1.1\r\nHost: h\r\nContent-Length: " + QByteArray::number(body.size())
                             + "\r\n\r\n" + body);
                QByteArray reply;
                // The head and the short body, so the next answer starts clean.
                readUntil(reply, [&reply] {
                    const qsizetype end = reply.indexOf("\r\n\r\n");
                    return end >= 0 && reply.size() - end - 4 >= 21;
                });
                if (reply.startsWith("HTTP/1.1 200"))
                    answered.insert(text);
            }
            ::kill(pid_t(server.process().processId()), SIGKILL);
            server.process().waitForFinished();
        }

        const auto database = yztest::openDatabase(db.url());
        QVERIFY(database);
        const QSet<QByteArray> stored = yztest::storedSuggestions(*database);
        QSqlQuery query(database->db());
        QVERIFY(answered.size() > kKills); // the run did write
        for (const QByteArray &text : std::as_const(answered))
            QVERIFY2(stored.contains(text), text.constData());
        // Counts and their claims are written together or not at all.
        QVERIFY(query.exec(QStringLiteral(
                "SELECT COUNT(*) FROM collect_claims c WHERE c.done = 1 AND c.outcome = 'ok' AND NOT EXISTS "
                "(SELECT 1 FROM history h WHERE h.domain = c.domain AND h.day = c.day)")));
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toInt(), 0);
        QVERIFY(query.exec(QStringLiteral("SELECT COUNT(*) FROM history")) && query.next());
        qInfo("%lld suggestions answered, %lld history rows, %d kills", qint64(answered.size()),
              query.value(0).toLongLong(), kKills);
        QVERIFY(query.value(0).toInt() > 0);
    }

    // A backup taken while suggestions are written holds every suggestion
    // answered before it began, and is a whole database.
    void backupWhileWriting()
    {
        yztest::ThrowawayDatabase db(false);
        yztest::ServingProcess server(db.url(), {QStringLiteral("--suggestions-per-hour"), QStringLiteral("1000000")});
        QVERIFY(server.started());
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(server.port()));
        QVERIFY(socket.waitForConnected(5000));
        int sent = 0;
        const auto suggest = [&]() -> QByteArray {
            const QByteArray text = "b" + QByteArray::number(sent++);
            const QByteArray body = "c=" + text;
            socket.write("POST /yztool/a/ HTTP/1.1\r\nHost: h\r\nContent-Length: " + QByteArray::number(body.size())
                         + "\r\n\r\n" + body);
            QByteArray reply;
            while (socket.waitForReadyRead(5000)) {
                reply += socket.readAll();
                const qsizetype end = reply.indexOf("\r\n\r\n");
                if (end >= 0 && reply.size() - end - 4 >= 21)
                    break;
            }
            return reply.startsWith("HTTP/1.1 200") ? text : QByteArray();
        };
        QSet<QByteArray> before;
        for (int i = 0; i < 200; ++i)
            before.insert(suggest());
        before.remove(QByteArray());
        QCOMPARE(before.size(), 200);

        const QString copy = db.dir() + QStringLiteral("/copy.sqlite");
        QProcess backup;
        backup.start(QStringLiteral(YZ_SERVER), {QStringLiteral("backup"), copy, QStringLiteral("--db"), db.url()});
        QVERIFY(backup.waitForStarted());
        int during = 0;
        while (backup.state() != QProcess::NotRunning && during < 2000) {
            suggest();
            ++during;
            backup.waitForFinished(1);
        }
        QVERIFY(backup.state() == QProcess::NotRunning || backup.waitForFinished(60000));
        QCOMPARE(backup.exitCode(), 0);

        const auto database = yztest::openDatabase(copy);
        QVERIFY(database);
        const QSet<QByteArray> stored = yztest::storedSuggestions(*database);
        for (const QByteArray &text : std::as_const(before))
            QVERIFY2(stored.contains(text), text.constData());

        // An existing file is never overwritten; PostgreSQL has its own tools.
        const yztest::CommandResult again = yztest::serverCommand(db.url(), {QStringLiteral("backup"), copy});
        QCOMPARE(again.status, 2);
        if (!yztest::postgresServer().isEmpty()) {
            yztest::ThrowawayDatabase pg(true);
            const yztest::CommandResult r =
                    yztest::serverCommand(pg.url(), {QStringLiteral("backup"), db.dir() + QStringLiteral("/pg.copy")});
            QCOMPARE(r.status, 2);
            QVERIFY(r.err.contains("pg_dump"));
        }
    }
};

QTEST_GUILESS_MAIN(TestServerFaults)
#include "tst_serverfaults.moc"
