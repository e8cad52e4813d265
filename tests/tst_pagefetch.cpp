// The page fetch: headers, methods, decoding by label and detection, the
// handler contract, and how failures reach the handler.
#include "net/PageFetcher.h"
#include "net/TextDecoding.h"
#include "net/TransportStatus.h"
#include "net/spyHTTP.h"
#include "tests/support/FakeHttpServer.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using yz::PageFetcher;
using yztest::FakeHttpServer;
using yztest::FakeResponse;

namespace {

struct Delivery {
    QString handler;
    qint16 err;
    QString html;
};

// A fetcher whose handlers h1, h2 and same record what they are given.
struct Recorder {
    PageFetcher fetcher;
    QList<Delivery> got;

    Recorder()
    {
        for (const QString &name : {QStringLiteral("h1"), QStringLiteral("h2"), QStringLiteral("same")})
            fetcher.handlers().add(name, [this, name](qint16 err, const QString &html) {
                got.append({name, err, html});
            });
    }
    void fetch(const QString &url, const QString &charset = QString(), const QString &handler = QStringLiteral("h1"),
               const QString &method = QStringLiteral("get"), const QString &payload = QString())
    {
        fetcher.urlfetch(url, method, payload, charset, handler);
    }
    bool waitIdle(int ms = 10000)
    {
        if (fetcher.inFlight() == 0)
            return true;
        QSignalSpy idle(&fetcher, &PageFetcher::idle);
        return idle.wait(ms);
    }
};

FakeResponse page(const QByteArray &body, int status = 200)
{
    FakeResponse r;
    r.status = status;
    r.body = body;
    return r;
}

// "找到" in UTF-8 and in GBK.
const QByteArray kFoundUtf8 = "\xE6\x89\xBE\xE5\x88\xB0";
const QByteArray kFoundGbk = "\xD5\xD2\xB5\xBD";

} // namespace

class TestPageFetch : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void charsetDetection_data();
    void charsetDetection();
    void utf8DeclarationTestEqualsThePattern();
    void statusOtherThan200GivesTheDigits();
    void emptyBodyIsDeliveredAsEmptyText();
    void answersArriveInCompletionOrder();
    void headersAndMethods_data();
    void headersAndMethods();
    void unknownHandlerAndThrowingHandlerEndQuietly();
    void transportFailuresReachTheHandler_data();
    void transportFailuresReachTheHandler();
    void refusedConnection();
    void redirectIsFollowed();
    void chunkedBody();
    void longAnswersArriveWhole();
    void addressThatCannotBeRequestedIsAFailedAnswer();
};

void TestPageFetch::charsetDetection_data()
{
    QTest::addColumn<QString>("charset");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected");
    const QString found = QStringLiteral("找到");
    const QByteArray meta = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">";
    QTest::newRow("meta utf-8") << QString() << (meta + kFoundUtf8) << (QString::fromLatin1(meta) + found);
    QTest::newRow("meta upper case") << QString() << ("<META CONTENT=\"text/html; CHARSET=UTF-8\">" + kFoundUtf8)
                                     << (QStringLiteral("<META CONTENT=\"text/html; CHARSET=UTF-8\">") + found);
    QTest::newRow("meta over lines") << QString() << ("<meta\nhttp-equiv=x\ncontent=\"charset=utf-8\">" + kFoundUtf8)
                                     << (QStringLiteral("<meta\nhttp-equiv=x\ncontent=\"charset=utf-8\">") + found);
    QTest::newRow("quoted value stays GBK") << QString() << ("<meta charset=\"utf-8\">" + kFoundGbk)
                                            << (QStringLiteral("<meta charset=\"utf-8\">") + found);
    QTest::newRow("no meta is GBK") << QString() << kFoundGbk << found;
    QTest::newRow("utf-8 page without meta is read as GBK") << QString() << kFoundUtf8 << yz::decodeGbk(kFoundUtf8);
    QTest::newRow("gb2312 ignores the meta") << QStringLiteral("gb2312") << ("<meta charset=utf-8>" + kFoundGbk)
                                             << (QStringLiteral("<meta charset=utf-8>") + found);
    QTest::newRow("utf-8 label") << QStringLiteral("utf-8") << kFoundUtf8 << found;
    QTest::newRow("0x80 is the euro sign") << QStringLiteral("gb2312") << QByteArray("\x80") << QStringLiteral("€");
}

void TestPageFetch::charsetDetection()
{
    QFETCH(QString, charset);
    QFETCH(QByteArray, body);
    QFETCH(QString, expected);
    FakeHttpServer server;
    server.setResponse(page(body));
    Recorder r;
    r.fetch(server.base() + QStringLiteral("/page"), charset);
    QVERIFY(r.waitIdle());
    QCOMPARE(r.got.size(), 1);
    QCOMPARE(r.got[0].err, qint16(0));
    QCOMPARE(r.got[0].html, expected);
}

void TestPageFetch::utf8DeclarationTestEqualsThePattern()
{
    const QRegularExpression pattern(QStringLiteral("<meta[^>]+charset=utf-8"),
                                     QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption);
    const QStringList fixed = {QStringLiteral("<meta charset=utf-8>"),
                               QStringLiteral("<metacharset=utf-8"),
                               QStringLiteral("<meta>charset=utf-8"),
                               QStringLiteral("<META\nCHARSET=UTF-8"),
                               QStringLiteral("<meta a><meta b charset=utf-8"),
                               QStringLiteral("<meta charset=utf-"),
                               QStringLiteral("<meta charset=\"utf-8\">"),
                               QStringLiteral("<meta <meta charset=utf-8")};
    for (const QString &text : fixed)
        QVERIFY2(yz::declaresUtf8(text) == pattern.match(text).hasMatch(), qPrintable(text));
    QRandomGenerator rng(7);
    const QStringList pieces = {QStringLiteral("<meta"),
                                QStringLiteral("<MeTa"),
                                QStringLiteral(">"),
                                QStringLiteral(" "),
                                QStringLiteral("charset=utf-8"),
                                QStringLiteral("charset="),
                                QStringLiteral("utf-8"),
                                QStringLiteral("\n"),
                                QStringLiteral("\""),
                                QStringLiteral("x")};
    for (int round = 0; round < 2000; ++round) {
        QString text;
        for (int i = 0; i < 8; ++i)
            text += pieces[rng.bounded(int(pieces.size()))];
        QVERIFY2(yz::declaresUtf8(text) == pattern.match(text).hasMatch(), qPrintable(text));
    }
}

void TestPageFetch::statusOtherThan200GivesTheDigits()
{
    FakeHttpServer server;
    server.setResponse(page("<html>not here</html>", 404));
    Recorder r;
    r.fetch(server.base() + QStringLiteral("/missing"));
    QVERIFY(r.waitIdle());
    QCOMPARE(r.got.size(), 1);
    QCOMPARE(r.got[0].err, qint16(1));
    QCOMPARE(r.got[0].html, QStringLiteral("404"));

    server.setResponse(page("moved", 304));
    r.fetch(server.base() + QStringLiteral("/cached"));
    QVERIFY(r.waitIdle());
    QCOMPARE(r.got.size(), 2);
    QCOMPARE(r.got[1].err, qint16(1));
    QCOMPARE(r.got[1].html, QStringLiteral("304"));
}

void TestPageFetch::emptyBodyIsDeliveredAsEmptyText()
{
    FakeHttpServer server;
    server.setResponse(page(QByteArray()));
    Recorder r;
    r.fetch(server.base() + QStringLiteral("/empty"));
    QVERIFY(r.waitIdle());
    QCOMPARE(r.got.size(), 1);
    QCOMPARE(r.got[0].err, qint16(0));
    QCOMPARE(r.got[0].html, QString());
}

void TestPageFetch::answersArriveInCompletionOrder()
{
    FakeHttpServer server;
    server.setScript([](const yztest::RecordedRequest &req) {
        FakeResponse res = page(req.target);
        res.delayMs = req.target.endsWith("slow") ? 400 : 20;
        return res;
    });
    Recorder r;
    r.fetch(server.base() + QStringLiteral("/slow"), QString(), QStringLiteral("same"));
    r.fetch(server.base() + QStringLiteral("/fast"), QString(), QStringLiteral("same"));
    QCOMPARE(r.fetcher.inFlight(), 2);
    QVERIFY(r.waitIdle());
    QCOMPARE(r.got.size(), 2);
    QCOMPARE(r.got[0].html, QStringLiteral("/fast"));
    QCOMPARE(r.got[1].html, QStringLiteral("/slow"));
    QCOMPARE(r.fetcher.startedCount(), 2);
    QCOMPARE(r.fetcher.finishedCount(), 2);
}

void TestPageFetch::headersAndMethods_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("payload");
    QTest::addColumn<QByteArray>("wireMethod");
    QTest::addColumn<bool>("formHeader");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("get") << QStringLiteral("get") << QString() << QByteArray("GET") << false << QByteArray();
    QTest::newRow("POST with body") << QStringLiteral("POST") << QStringLiteral("c=%D6%D0+a") << QByteArray("POST")
                                    << true << QByteArray("c=%D6%D0+a");
    QTest::newRow("Post") << QStringLiteral("Post") << QStringLiteral("c=1") << QByteArray("POST") << true
                          << QByteArray("c=1");
    QTest::newRow("post without payload")
            << QStringLiteral("post") << QString() << QByteArray("POST") << true << QByteArray();
    QTest::newRow("get with payload") << QStringLiteral("get") << QStringLiteral("x=1") << QByteArray("GET") << false
                                      << QByteArray("x=1");
}

void TestPageFetch::headersAndMethods()
{
    QFETCH(QString, method);
    QFETCH(QString, payload);
    QFETCH(QByteArray, wireMethod);
    QFETCH(bool, formHeader);
    QFETCH(QByteArray, body);
    FakeHttpServer server;
    Recorder r;
    r.fetch(server.base() + QStringLiteral("/s?wd=site:example.com"), QString(), QStringLiteral("h1"), method, payload);
    QVERIFY(r.waitIdle());
    QCOMPARE(server.requests().size(), 1);
    const yztest::RecordedRequest &req = server.requests()[0];
    QCOMPARE(req.method, wireMethod);
    QCOMPARE(req.target, QByteArray("/s?wd=site:example.com"));
    QCOMPARE(req.header("If-Modified-Since"), QByteArray("0"));
    QCOMPARE(req.header("Content-Type"), formHeader ? QByteArray("application/x-www-form-urlencoded") : QByteArray());
    QCOMPARE(req.body, body);
    QVERIFY(!req.header("User-Agent").isEmpty());
}

void TestPageFetch::unknownHandlerAndThrowingHandlerEndQuietly()
{
    FakeHttpServer server;
    server.setResponse(page("ok"));
    Recorder r;
    int thrown = 0;
    r.fetcher.handlers().add(QStringLiteral("boom"), [&thrown](qint16, const QString &) {
        ++thrown;
        throw std::runtime_error("handler failed");
    });
    r.fetch(server.base() + QStringLiteral("/a"), QString(), QStringLiteral("noSuchHandler"));
    r.fetch(server.base() + QStringLiteral("/b"), QString(), QStringLiteral("boom"));
    r.fetch(server.base() + QStringLiteral("/c"), QString(), QStringLiteral("h2"));
    QVERIFY(r.waitIdle());
    QCOMPARE(thrown, 1);
    QCOMPARE(r.got.size(), 1);
    QCOMPARE(r.got[0].handler, QStringLiteral("h2"));
    QCOMPARE(r.got[0].html, QStringLiteral("ok"));
    QCOMPARE(r.fetcher.finishedCount(), 3);
}

void TestPageFetch::transportFailuresReachTheHandler_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("status");
    QTest::newRow("never answers") << int(FakeResponse::Fault::NoAnswer) << yz::transport::kTimedOut;
    QTest::newRow("closed without a byte")
            << int(FakeResponse::Fault::CloseAtOnce) << yz::transport::kConnectionAborted;
    QTest::newRow("closed mid-body") << int(FakeResponse::Fault::CloseMidBody) << yz::transport::kConnectionAborted;
    QTest::newRow("larger than the limit") << -1 << yz::transport::kConnectionAborted;
}

void TestPageFetch::transportFailuresReachTheHandler()
{
    QFETCH(int, fault);
    QFETCH(int, status);
    FakeHttpServer server;
    FakeResponse res = page(QByteArray(200000, 'x'));
    if (fault >= 0)
        res.fault = FakeResponse::Fault(fault);
    server.setResponse(res);
    Recorder r;
    r.fetcher.setTimeoutMs(500);
    r.fetcher.setByteLimit(100000);
    r.fetch(server.base() + QStringLiteral("/fault"));
    QVERIFY(r.waitIdle());
    QCOMPARE(r.got.size(), 1);
    QCOMPARE(r.got[0].err, qint16(1));
    QCOMPARE(r.got[0].html, QString::number(status));
}

void TestPageFetch::refusedConnection()
{
    quint16 port = 0;
    {
        FakeHttpServer closed;
        port = closed.port();
    }
    Recorder r;
    r.fetch(QStringLiteral("http://127.0.0.1:%1/x").arg(port));
    QVERIFY(r.waitIdle());
    QCOMPARE(r.got.size(), 1);
    QCOMPARE(r.got[0].err, qint16(1));
    QCOMPARE(r.got[0].html, QString::number(yz::transport::kCannotConnect));
}

void TestPageFetch::redirectIsFollowed()
{
    FakeHttpServer server;
    const QByteArray target = server.base().toLatin1() + "/final";
    server.setScript([target](const yztest::RecordedRequest &req) {
        if (req.target == "/final")
            return page("arrived");
        FakeResponse moved = page("", 302);
        moved.reason = "Found";
        moved.headers.append({"Location", target});
        return moved;
    });
    Recorder r;
    r.fetch(server.base() + QStringLiteral("/start"));
    QVERIFY(r.waitIdle());
    QCOMPARE(r.got.size(), 1);
    QCOMPARE(r.got[0].err, qint16(0));
    QCOMPARE(r.got[0].html, QStringLiteral("arrived"));
    QCOMPARE(server.targets(), (QList<QByteArray>{"/start", "/final"}));
}

void TestPageFetch::chunkedBody()
{
    FakeHttpServer server;
    FakeResponse res = page(QByteArray(5000, 'z'));
    res.fault = FakeResponse::Fault::Chunked;
    server.setResponse(res);
    Recorder r;
    r.fetch(server.base() + QStringLiteral("/chunked"));
    QVERIFY(r.waitIdle());
    QCOMPARE(r.got.size(), 1);
    QCOMPARE(r.got[0].html, QString(5000, u'z'));
}

// Pages far longer than what the network thread reads ahead, with and
// without an announced length, taken as they arrive: every byte in its
// place, whichever of the answers arrives first.
void TestPageFetch::longAnswersArriveWhole()
{
    QByteArray body(3 * 1024 * 1024 + 17, Qt::Uninitialized);
    for (qsizetype i = 0; i < body.size(); ++i)
        body[i] = char('!' + (i * 7 + i / 4093) % 90);
    FakeHttpServer withLength;
    withLength.setResponse(page(body));
    FakeHttpServer chunked;
    FakeResponse unannounced = page(body);
    unannounced.fault = FakeResponse::Fault::Chunked;
    chunked.setResponse(unannounced);
    Recorder r;
    r.fetch(withLength.base() + QStringLiteral("/a"), QStringLiteral("utf-8"), QStringLiteral("h1"));
    r.fetch(chunked.base() + QStringLiteral("/b"), QStringLiteral("utf-8"), QStringLiteral("h2"));
    QVERIFY(r.waitIdle(30000));
    QCOMPARE(r.got.size(), 2);
    for (const Delivery &d : std::as_const(r.got)) {
        QCOMPARE(d.err, qint16(0));
        QCOMPARE(d.html.size(), body.size());
        QVERIFY2(d.html == QLatin1String(body), qPrintable(d.handler));
    }
}

void TestPageFetch::addressThatCannotBeRequestedIsAFailedAnswer()
{
    Recorder r;
    QSignalSpy started(&r.fetcher, &PageFetcher::requestStarted);
    r.fetch(QStringLiteral("http:///no-host"));
    r.fetch(QStringLiteral("file:///etc/passwd"), QString(), QStringLiteral("h2"));
    r.fetch(QStringLiteral("http://127.0.0.1:1/"), QString(), QStringLiteral("same"), QString()); // no method
    // Delivered later, as an answer is: the caller has returned first.
    QVERIFY(r.got.isEmpty());
    QCOMPARE(r.fetcher.inFlight(), 3);
    QVERIFY(r.waitIdle());
    QCOMPARE(r.got.size(), 3);
    const QStringList handlers{QStringLiteral("h1"), QStringLiteral("h2"), QStringLiteral("same")};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(r.got[i].handler, handlers[i]);
        QCOMPARE(r.got[i].err, qint16(1));
        QCOMPARE(r.got[i].html, QString::number(yz::transport::kNotStarted));
    }
    // Nothing left: not counted as sent, nothing in flight.
    QCOMPARE(r.fetcher.startedCount(), 0);
    QCOMPARE(started.size(), 0);
    QCOMPARE(r.fetcher.inFlight(), 0);
    QVERIFY(!PageFetcher::requestable(QStringLiteral("ftp://example.com/")));
    QVERIFY(PageFetcher::requestable(QStringLiteral("https://example.com/a b")));
}

QTEST_GUILESS_MAIN(TestPageFetch)
#include "tst_pagefetch.moc"
