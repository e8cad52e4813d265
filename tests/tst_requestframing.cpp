// How the service cuts a connection's bytes into requests: what it refuses,
// and that a request reads the same however its bytes arrive.
#include "server/RequestFraming.h"

#include <QTest>

using namespace yz::server;

class TestRequestFraming : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void refusesWhatReadersCouldTakeDifferently_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("status");
        const QByteArray get = "GET / HTTP/1.1\r\nHost: h\r\n";
        QTest::newRow("folded length") << QByteArray(get + "X-A: b\r\n Content-Length: 0\r\nContent-Length: 5\r\n\r\n")
                                       << 400;
        QTest::newRow("folded with a tab") << QByteArray(get + "X-A: b\r\n\tmore\r\n\r\n") << 400;
        QTest::newRow("folded transfer coding") << QByteArray(get + "Transfer-Encoding:\r\n chunked\r\n\r\n") << 411;
        QTest::newRow("transfer coding") << QByteArray(get + "Transfer-Encoding: chunked\r\n\r\n") << 411;
        QTest::newRow("two equal lengths")
                << QByteArray(get + "Content-Length: 2\r\nContent-Length: 2\r\n\r\nab") << 400;
        QTest::newRow("two lengths") << QByteArray(get + "Content-Length: 2\r\nContent-Length: 20\r\n\r\nab") << 400;
        QTest::newRow("length list") << QByteArray(get + "Content-Length: 2, 2\r\n\r\nab") << 400;
        QTest::newRow("signed length") << QByteArray(get + "Content-Length: +2\r\n\r\nab") << 400;
        QTest::newRow("huge length") << QByteArray(get + "Content-Length: 99999999999999999999\r\n\r\n") << 400;
        QTest::newRow("space before colon") << QByteArray(get + "Content-Length : 2\r\n\r\nab") << 400;
        QTest::newRow("bare carriage return") << QByteArray(get + "X-A: b\rContent-Length: 2\r\n\r\nab") << 400;
        QTest::newRow("control in a value") << QByteArray(get + "X-A: b\x01\r\n\r\n") << 400;
        QTest::newRow("no colon") << QByteArray(get + "X-A b\r\n\r\n") << 400;
        QTest::newRow("other version") << QByteArray("GET / HTTP/2.0\r\n\r\n") << 400;
        QTest::newRow("space in target") << QByteArray("GET /a b HTTP/1.1\r\n\r\n") << 400;
        QTest::newRow("body too large") << QByteArray(get + "Content-Length: 65537\r\n\r\n") << 413;
        QTest::newRow("head too large") << QByteArray(get + "X: " + QByteArray(17 * 1024, 'a') + "\r\n\r\n") << 431;
        QTest::newRow("head never ends") << QByteArray(get + "X: " + QByteArray(17 * 1024, 'a')) << 431;
    }
    void refusesWhatReadersCouldTakeDifferently()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, status);
        RequestFramer framer;
        QList<FramedRequest> out;
        const std::optional<FramingError> error = framer.feed(bytes, out);
        QVERIFY(error);
        QCOMPARE(int(error->status), status);
        QVERIFY(out.isEmpty());
    }

    void sameRequestsHoweverTheBytesArrive()
    {
        const QByteArray stream = "\r\nGET /a HTTP/1.1\r\nHost: h\r\n\r\n"
                                  "POST /yztool/a/ HTTP/1.1\r\nContent-Length: 5\r\n\r\nc=abc"
                                  "HEAD /b HTTP/1.1\nHost: h\n\n"
                                  "GET /c HTTP/1.0\r\nConnection: keep-alive\r\n\r\n"
                                  "GET /d HTTP/1.0\r\n\r\n"
                                  "GET /e HTTP/1.1\r\nConnection: Close\r\n\r\n";
        QList<FramedRequest> whole;
        QVERIFY(!RequestFramer().feed(stream, whole));
        QCOMPARE(whole.size(), 6);
        QCOMPARE(whole[1].bytes, QByteArray("POST /yztool/a/ HTTP/1.1\r\nContent-Length: 5\r\n\r\nc=abc"));
        QCOMPARE(whole[0].bytes, QByteArray("GET /a HTTP/1.1\r\nHost: h\r\n\r\n"));
        QVERIFY(whole[2].headOnly);
        QVERIFY(!whole[0].headOnly);
        const QList<bool> keepAlive = {true, true, true, true, false, false};
        for (qsizetype i = 0; i < whole.size(); ++i)
            QCOMPARE(whole[i].keepAlive, keepAlive[i]);

        // A byte at a time, and in two pieces split everywhere.
        RequestFramer trickled;
        QList<FramedRequest> bytewise;
        for (char c : stream)
            QVERIFY(!trickled.feed(QByteArrayView(&c, 1), bytewise));
        QCOMPARE(bytewise.size(), whole.size());
        for (qsizetype i = 0; i < whole.size(); ++i)
            QCOMPARE(bytewise[i].bytes, whole[i].bytes);
        for (qsizetype cut = 1; cut < stream.size(); ++cut) {
            RequestFramer framer;
            QList<FramedRequest> split;
            QVERIFY(!framer.feed(QByteArrayView(stream).first(cut), split));
            QVERIFY(!framer.feed(QByteArrayView(stream).sliced(cut), split));
            QCOMPARE(split.size(), whole.size());
            QCOMPARE(split.last().bytes, whole.last().bytes);
        }
    }

    void statesFollowTheRequest()
    {
        RequestFramer framer;
        QList<FramedRequest> out;
        QCOMPARE(framer.state(), RequestFramer::State::Idle);
        QVERIFY(!framer.feed("POST / HTTP/1.1\r\nContent-", out));
        QCOMPARE(framer.state(), RequestFramer::State::Head);
        QVERIFY(!framer.feed("Length: 3\r\n\r\nc", out));
        QCOMPARE(framer.state(), RequestFramer::State::Body);
        QVERIFY(!framer.feed("=x", out));
        QCOMPARE(framer.state(), RequestFramer::State::Idle);
        QCOMPARE(out.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestRequestFraming)
#include "tst_requestframing.moc"
