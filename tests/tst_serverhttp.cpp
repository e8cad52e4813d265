// The real yanzhou-server on a loopback port: the exact bytes of every answer
// the window relies on, the pages, and what hostile clients send.
#include "net/TextDecoding.h"
#include "parsers/PublishedRules.h"
#include "parsers/TrustedKeys.h"
#include "server/SharedAnswers.h"
#include "tests/support/RawHttp.h"
#include "tests/support/ServerUnderTest.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTcpSocket>
#include <QTest>

#include <memory>
#include <vector>

using yztest::Answer;
using yztest::exchange;
using yztest::get;
using yztest::post;

namespace {

// The request target the window sends for a path and a domain as typed.
QByteArray target(const QString &path, const QString &typed, const QString &end = {})
{
    return QUrl(QStringLiteral("http://h") + path + typed + end, QUrl::TolerantMode)
            .toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority);
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

int run(const QString &db, const QStringList &args)
{
    const yztest::CommandResult result = yztest::serverCommand(db, args);
    if (result.status != 0)
        qWarning("%s", result.err.constData());
    return result.status;
}

} // namespace

class TestServerHttp : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void answersTheWindowsRequests_data() { yztest::addBackendRows(); }
    void answersTheWindowsRequests()
    {
        QFETCH(bool, postgres);
        yztest::ThrowawayDatabase db(postgres);
        QVERIFY(!db.url().isEmpty());
        yztest::ServingProcess server(db.url());
        QVERIFY(server.started());
        const int port = server.port();

        // Before anything is set: the program's own version, no news.
        Answer a = get(port, "/yzupdate/?ver=200912230");
        QCOMPARE(a.status, 200);
        QCOMPARE(a.body, QByteArray("200912230"));
        // Every answer is dated, as HTTP asks of a server with a clock.
        QDateTime dated = QLocale::c().toDateTime(QString::fromLatin1(a.header("Date")),
                                                  QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
        QVERIFY2(dated.isValid(), a.header("Date").constData());
        dated.setTimeSpec(Qt::UTC);
        QVERIFY(std::abs(dated.secsTo(QDateTime::currentDateTimeUtc())) < 120);
        // A browser's unbidden request for an icon is no domain's page.
        const Answer icon = get(port, "/favicon.ico");
        QCOMPARE(icon.status, 404);
        a = get(port, "/yztool/n/?ver=200912230");
        QCOMPARE(a.status, 200);
        QCOMPARE(a.header("Content-Length"), QByteArray("0"));
        QCOMPARE(a.body, QByteArray());

        QCOMPARE(run(db.url(), {QStringLiteral("version"), QStringLiteral("set"), QStringLiteral("200912231")}), 0);
        QCOMPARE(run(db.url(),
                     {QStringLiteral("news"), QStringLiteral("add"), QStringLiteral("新版发布"),
                      QStringLiteral("http://a.example/1")}),
                 0);
        QCOMPARE(run(db.url(),
                     {QStringLiteral("news"), QStringLiteral("add"), QStringLiteral("B & <C>"),
                      QStringLiteral("https://b.example/?x=1&y=2")}),
                 0);
        // Answers are cached until the data changes; on PostgreSQL the change
        // is announced to the service, which takes a moment to arrive.
        QTRY_COMPARE(get(port, "/yzupdate/?ver=200912230").body, QByteArray("200912231"));
        QTRY_VERIFY(get(port, "/yztool/n/?ver=200912230").body.contains(yz::encodeGbk(u"B & <C>")));
        a = get(port, "/yztool/n/?ver=200912230");
        QCOMPARE(a.body, yz::encodeGbk(u"新版发布[L|G]http://a.example/1{L|G}B & <C>[L|G]https://b.example/?x=1&y=2"));
        QCOMPARE(a.header("X-Content-Type-Options"), QByteArray("nosniff"));

        // The PageRank chain: the address of the rank page, then its line.
        QCOMPARE(yztest::serverCommand(db.url(),
                                       {QStringLiteral("ranks"), QStringLiteral("import"), QStringLiteral("-")},
                                       "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\n"
                                       "3\t1\t1\t1\tcom.example\n30\t1\t1\t1\torg.other\n")
                         .status,
                 0);
        a = get(port, "/api/PRURL.php?dm=www.example.com");
        QCOMPARE(a.status, 200);
        QCOMPARE(a.body, server.base().toUtf8() + "/pr/?dm=www.example.com");
        const QUrl rankUrl(QString::fromUtf8(a.body));
        QCOMPARE(get(port, rankUrl.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority)).body,
                 QByteArray("Rank_1:1:10\n"));
        QCOMPARE(get(port, "/pr/?dm=other.org").body, QByteArray("Rank_1:1:8\n"));
        QCOMPARE(get(port, "/pr/?dm=absent.example").body, QByteArray("Rank_1:1:0\n"));

        // The trend picture: a JPEG of the picture box's size, drawn anew
        // when the history changes.
        const QByteArray pictureTarget =
                target(QStringLiteral("/yzclientthumb/"), QStringLiteral("example.com"), QStringLiteral("_bd1.jpg"));
        a = get(port, pictureTarget);
        QCOMPARE(a.status, 200);
        QCOMPARE(a.header("Content-Type"), QByteArray("image/jpeg"));
        QCOMPARE(a.header("Content-Length").toLongLong(), a.body.size());
        QCOMPARE(QImage::fromData(a.body, "JPEG").size(), QSize(165, 97));
        const QByteArray noData = a.body;
        QCOMPARE(run(db.url(),
                     {QStringLiteral("history"), QStringLiteral("add"), QStringLiteral("example.com"),
                      QStringLiteral("2026-11-01"), QStringLiteral("1200")}),
                 0);
        QTRY_VERIFY(get(port, pictureTarget).body != noData);
        const QByteArray onePoint = get(port, pictureTarget).body;
        QVERIFY(onePoint != noData);
        QCOMPARE(get(port, pictureTarget).body, onePoint); // cached: the same bytes
        QCOMPARE(run(db.url(),
                     {QStringLiteral("history"), QStringLiteral("add"), QStringLiteral("example.com"),
                      QStringLiteral("2026-12-01"), QStringLiteral("5000")}),
                 0);
        QTRY_VERIFY(get(port, pictureTarget).body != onePoint);
        const QByteArray twoPoints = get(port, pictureTarget).body;
        QVERIFY(twoPoints != onePoint);
        QCOMPARE(QImage::fromData(twoPoints, "JPEG").size(), QSize(165, 97));

        // A suggestion as the window posts it.
        a = post(port, "/yztool/a/", "c=%D6%D0%CE%C4+%26+%3D+%7E+%2B%0D%0Aend");
        QCOMPARE(a.status, 200);
        const yztest::CommandResult listed =
                yztest::serverCommand(db.url(), {QStringLiteral("suggestions"), QStringLiteral("--json")});
        QCOMPARE(listed.status, 0);
        const QJsonObject first = QJsonDocument::fromJson(listed.out.split('\n').first()).object();
        QCOMPARE(first.value(QStringLiteral("text")).toString(), QStringLiteral("中文 & = ~ +\r\nend"));
        QCOMPARE(first.value(QStringLiteral("client")).toString(), QStringLiteral("127.0.0.1"));

        // The pages: HTML with the policy headers.
        for (const QByteArray &page :
             {QByteArray("/"), QByteArray("/?update"), QByteArray("/adddomain"), QByteArray("/example.com")}) {
            a = get(port, page);
            QCOMPARE(a.status, 200);
            QCOMPARE(a.header("Content-Type"), QByteArray("text/html; charset=utf-8"));
            QVERIFY(a.header("Content-Security-Policy").contains("default-src 'none'"));
            QCOMPARE(a.header("X-Content-Type-Options"), QByteArray("nosniff"));
            QVERIFY(a.body.startsWith("<!DOCTYPE html>"));
            QVERIFY(!a.body.contains("<script"));
        }
        QVERIFY(get(port, "/").body.contains("200912231"));
        QVERIFY(get(port, "/").body.contains("B &amp; &lt;C&gt;"));
        QVERIFY(get(port, "/example.com").body.contains("<td>5,000</td>"));
        QCOMPARE(get(port, "/no/such/../path").status, 404);
        QCOMPARE(get(port, "/yzclientthumb/example.com.png").status, 404);

        // Registering: a host name is stored, anything else refused.
        a = post(port, "/adddomain", "domain=Tracked.Example.COM");
        QCOMPARE(a.status, 200);
        QVERIFY(!get(port, "/tracked.example.com").body.contains("登记此域名"));
        a = post(port, "/adddomain", "domain=%3Cscript%3Ealert(1)%3C%2Fscript%3E");
        QCOMPARE(a.status, 400);
        QVERIFY(!a.body.contains("<script>"));
        QVERIFY(a.body.contains("&lt;script&gt;"));
    }

    // Whatever a user types arrives in every route as data: nothing breaks,
    // leaves the service's files or shows up unescaped.
    void oddDomainsInEveryRoute()
    {
        yztest::ThrowawayDatabase db(false);
        yztest::ServingProcess server(db.url());
        QVERIFY(server.started());
        const int port = server.port();
        const QStringList typed = {QStringLiteral("../../etc/passwd"),
                                   QStringLiteral("中文.com"),
                                   QStringLiteral("a b.com"),
                                   QStringLiteral("%"),
                                   QStringLiteral("%zz%2"),
                                   QStringLiteral("x'; DROP TABLE history;--"),
                                   QStringLiteral("<img src=x onerror=alert(1)>"),
                                   QStringLiteral("a/b/../../c"),
                                   QStringLiteral("example.com?x=1&y=2#f"),
                                   QString(5000, u'a'),
                                   QStringLiteral("..%2f..%2fetc%2fpasswd"),
                                   QString()};
        for (const QString &d : typed) {
            const Answer address = get(port, target(QStringLiteral("/api/PRURL.php?dm="), d));
            QCOMPARE(address.status, 200);
            QVERIFY(address.body.startsWith(server.base().toUtf8() + "/pr/?dm="));
            const QUrl rankUrl(QString::fromUtf8(address.body));
            QVERIFY(rankUrl.isValid());
            const Answer rank = get(port, rankUrl.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority));
            QCOMPARE(rank.status, 200);
            QVERIFY(rank.body.startsWith("Rank_1:1:"));
            const Answer picture = get(port, target(QStringLiteral("/yzclientthumb/"), d, QStringLiteral("_bd1.jpg")));
            QVERIFY2(picture.status == 200 || picture.status == 404, qPrintable(d));
            if (picture.status == 200)
                QVERIFY(!QImage::fromData(picture.body, "JPEG").isNull());
            const Answer page = get(port, target(QStringLiteral("/"), d));
            QVERIFY2(page.status == 200 || page.status == 404, qPrintable(d));
            QVERIFY(!page.body.contains("<img src=x"));
            QVERIFY(!page.body.contains("root:"));
        }
        // Broken percent-encoding and traversal in the raw target.
        for (const QByteArray &raw :
             {QByteArray("/%zz%"), QByteArray("/../../etc/passwd"), QByteArray("/download/../../etc/passwd"),
              QByteArray("/yzclientthumb/%00_bd1.jpg"), QByteArray("/api/PRURL.php?dm=%ff%fe%"),
              QByteArray("/%2e%2e/%2e%2e/etc/passwd")}) {
            const Answer a = get(port, raw);
            QVERIFY2(a.status == 200 || a.status == 404 || a.status == 400, raw.constData());
            QVERIFY(!a.body.contains("root:"));
        }
        QCOMPARE(get(port, "/yzupdate/?ver=1").body, QByteArray("200912230"));
    }

    void limitsOfAPublicServer()
    {
        yztest::ThrowawayDatabase db(false);
        yztest::ServingProcess server(db.url(),
                                      {QStringLiteral("--idle-timeout"), QStringLiteral("500"),
                                       QStringLiteral("--suggestions-per-hour"), QStringLiteral("2")});
        QVERIFY(server.started());
        const int port = server.port();

        const QByteArray bigHeader = "GET / HTTP/1.1\r\nHost: h\r\nX-Big: " + QByteArray(17 * 1024, 'a') + "\r\n\r\n";
        QCOMPARE(exchange(port, bigHeader).status, 431);
        // A head that never ends is refused once it passes the limit, too.
        QCOMPARE(exchange(port, "GET / HTTP/1.1\r\nX: " + QByteArray(20 * 1024, 'b')).status, 431);
        Answer a = exchange(port, "POST /yztool/a/ HTTP/1.1\r\nHost: h\r\nContent-Length: 1000000000\r\n\r\nc=");
        QCOMPARE(a.status, 413);
        QCOMPARE(post(port, "/yztool/a/", "c=" + QByteArray(70 * 1024, 'x')).status, 413);
        QCOMPARE(
                exchange(
                        port,
                        "POST /yztool/a/ HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nc=\r\n0\r\n\r\n")
                        .status,
                411);

        // Suggestions per address: the third within the hour is refused and
        // not stored; each accepted request is stored once.
        QCOMPARE(post(port, "/yztool/a/", "c=one").status, 200);
        QCOMPARE(post(port, "/yztool/a/", "c=two").status, 200);
        const Answer limited = post(port, "/yztool/a/", "c=three");
        QCOMPARE(limited.status, 429);
        QCOMPARE(limited.header("Retry-After"), QByteArray("3600")); // the limit is per hour
        QCOMPARE(post(port, "/yztool/a/", "nothing").status, 400);
        const yztest::CommandResult listed = yztest::serverCommand(db.url(), {QStringLiteral("suggestions")});
        QCOMPARE(listed.out.count("\n#") + (listed.out.startsWith('#') ? 1 : 0), 2);

        // A client that says nothing is dropped.
        QTcpSocket silent;
        silent.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
        QVERIFY(silent.waitForConnected(5000));
        QTRY_COMPARE_WITH_TIMEOUT(silent.state(), QAbstractSocket::UnconnectedState, 5000);

        // A slow client trickling its head does not hold up anyone else.
        QTcpSocket slow;
        slow.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
        QVERIFY(slow.waitForConnected(5000));
        const QByteArray slowHead = "GET /yzupdate/?ver=1 HTTP/1.1\r\nHost: h\r\n\r\n";
        for (qsizetype i = 0; i + 1 < slowHead.size(); i += 4) {
            slow.write(slowHead.mid(i, 4));
            slow.flush();
            QCOMPARE(get(port, "/yzupdate/?ver=1").body, QByteArray("200912230"));
        }
        slow.write(slowHead.right(slowHead.size() % 4 ? slowHead.size() % 4 : 4));
        QVERIFY(slow.waitForReadyRead(5000));

        // 600 connections at once: the service goes on answering.
        std::vector<std::unique_ptr<QTcpSocket>> crowd;
        for (int i = 0; i < 600; ++i) {
            crowd.push_back(std::make_unique<QTcpSocket>());
            crowd.back()->connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
        }
        for (auto &socket : crowd)
            socket->waitForConnected(5000);
        // While the crowd's connections are new, a newcomer may be turned
        // away; within a few seconds one is answered. Each try is a request
        // of its own, so the loop counts tries rather than re-asking a macro.
        bool answered = false;
        for (QDeadlineTimer deadline(20000); !answered && !deadline.hasExpired();) {
            answered = exchange(port, "GET /yzupdate/?ver=1 HTTP/1.1\r\nHost: h\r\n\r\n", 2000).body == "200912230";
            if (!answered)
                QTest::qWait(50);
        }
        QVERIFY(answered);
        QCOMPARE(server.process().state(), QProcess::Running);
    }

    // What a head hides, HEAD, pipelining, trickling and crowding clients.
    void hostileClients()
    {
        yztest::ThrowawayDatabase db(false);
        yztest::ServingProcess server(db.url(),
                                      {QStringLiteral("--head-timeout"), QStringLiteral("1000"),
                                       QStringLiteral("--body-timeout"), QStringLiteral("1000"),
                                       QStringLiteral("--max-connections"), QStringLiteral("40"),
                                       QStringLiteral("--registrations-per-hour"), QStringLiteral("2")});
        QVERIFY(server.started());
        const int port = server.port();

        // A length hidden in a folded line is refused, and its body never stored.
        const QByteArray hidden = "c=" + QByteArray(200'000, 'x');
        const Answer folded = exchange(port,
                                       "POST /yztool/a/ HTTP/1.1\r\nHost: h\r\nX-A: b\r\n Content-Length: 0\r\n"
                                       "Content-Length: "
                                               + QByteArray::number(hidden.size()) + "\r\n\r\n" + hidden);
        QCOMPARE(folded.status, 400);
        QCOMPARE(exchange(port,
                          "POST /yztool/a/ HTTP/1.1\r\nHost: h\r\nTransfer-Encoding:\r\n chunked\r\n\r\n"
                          "2\r\nc=\r\n0\r\n\r\n")
                         .status,
                 411);
        QCOMPARE(yztest::serverCommand(db.url(), {QStringLiteral("suggestions")}).out, QByteArray());

        // HEAD: the head alone, so a pipelined GET behind it reads cleanly.
        {
            QTcpSocket socket;
            socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
            QVERIFY(socket.waitForConnected(5000));
            socket.write("HEAD /yzupdate/ HTTP/1.1\r\nHost: h\r\n\r\nGET /yzupdate/ HTTP/1.1\r\nHost: h\r\n\r\n");
            QByteArray data;
            QTRY_VERIFY_WITH_TIMEOUT((data += socket.readAll()).endsWith("\r\n\r\n200912230"), 5000);
            QCOMPARE(data.count("HTTP/1.1 200 OK\r\n"), 2);
            const qsizetype firstEnd = data.indexOf("\r\n\r\n") + 4;
            QVERIFY(data.mid(firstEnd).startsWith("HTTP/1.1 200 OK\r\n"));
            QVERIFY(data.first(firstEnd).contains("Content-Length: 9\r\n"));
        }

        // Pipelined requests come back in order; a connection that queues
        // too many gets the first ones answered and is then closed.
        {
            QTcpSocket socket;
            socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
            QVERIFY(socket.waitForConnected(5000));
            QByteArray requests;
            for (int i = 0; i < 10; ++i)
                requests += i % 2 ? "GET /yztool/n/ HTTP/1.1\r\nHost: h\r\n\r\n"
                                  : "GET /yzupdate/ HTTP/1.1\r\nHost: h\r\n\r\n";
            socket.write(requests);
            QByteArray data;
            QTRY_COMPARE_WITH_TIMEOUT((data += socket.readAll()).count("HTTP/1.1 200"), 10, 5000);
            // The version answer has nine bytes, the (empty) news none.
            qsizetype at = 0;
            for (int i = 0; i < 10; ++i) {
                at = data.indexOf("Content-Length: ", at) + 16;
                QCOMPARE(data.at(at), i % 2 ? '0' : '9');
            }
        }
        // Requests one at a time on one connection, whole, split over two
        // reads, or with a line break behind: each answered once, in order.
        {
            QTcpSocket socket;
            socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
            QVERIFY(socket.waitForConnected(5000));
            const QByteArray get = "GET /yzupdate/ HTTP/1.1\r\nHost: h\r\n\r\n";
            const QList<QList<QByteArray>> sendings = {{get},          {get}, {get.first(10), get.sliced(10)},
                                                       {get + "\r\n"}, {get}, {get.first(get.size() - 2), "\r\n"}};
            QByteArray data;
            qsizetype answered = 0;
            for (const QList<QByteArray> &pieces : sendings) {
                for (const QByteArray &piece : pieces) {
                    socket.write(piece);
                    socket.flush();
                    QTest::qWait(30);
                }
                ++answered;
                QTRY_COMPARE_WITH_TIMEOUT((data += socket.readAll()).count("HTTP/1.1 200 OK"), answered, 5000);
            }
            QTest::qWait(100);
            data += socket.readAll();
            QCOMPARE(data.count("HTTP/1.1 "), sendings.size());
            QCOMPARE(data.count("\r\n\r\n200912230"), sendings.size());
            QCOMPARE(socket.state(), QAbstractSocket::ConnectedState);
        }
        {
            QTcpSocket socket;
            socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
            QVERIFY(socket.waitForConnected(5000));
            QByteArray flood;
            for (int i = 0; i < 8000; ++i)
                flood += "GET /yzupdate/ HTTP/1.1\r\nHost: h\r\n\r\n";
            socket.write(flood);
            QByteArray data;
            QTRY_VERIFY_WITH_TIMEOUT((data += socket.readAll(), socket.state() == QAbstractSocket::UnconnectedState),
                                     10000);
            data += socket.readAll();
            const qsizetype answered = data.count("HTTP/1.1 200");
            QVERIFY2(answered >= 1 && answered <= 32, qPrintable(QString::number(answered)));
            QVERIFY(data.endsWith("Connection: close\r\n\r\n200912230"));
        }

        // A head trickled a byte at a time is cut off at its deadline.
        {
            QTcpSocket slow;
            slow.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
            QVERIFY(slow.waitForConnected(5000));
            QElapsedTimer clock;
            clock.start();
            const QByteArray head = "GET /yzupdate/ HTTP/1.1\r\nHost: h\r\nX-Pad: " + QByteArray(200, 'p');
            QByteArray data;
            for (qsizetype i = 0; i < head.size() && slow.state() == QAbstractSocket::ConnectedState; ++i) {
                slow.write(head.mid(i, 1));
                slow.flush();
                QTest::qWait(20);
                data += slow.readAll();
            }
            QTRY_VERIFY_WITH_TIMEOUT((data += slow.readAll()).startsWith("HTTP/1.1 408")
                                             || slow.state() == QAbstractSocket::UnconnectedState,
                                     5000);
            QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        }

        // Tricklers fill every slot: a new client still gets in, in place of
        // one that has gone longest without finishing a request.
        {
            std::vector<std::unique_ptr<QTcpSocket>> crowd;
            for (int i = 0; i < 40; ++i) {
                crowd.push_back(std::make_unique<QTcpSocket>());
                crowd.back()->connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
                crowd.back()->waitForConnected(5000);
                crowd.back()->write("GET / HT");
                crowd.back()->flush();
            }
            QTest::qWait(600);
            for (int i = 0; i < 5; ++i)
                QCOMPARE(get(port, "/yzupdate/?ver=1").body, QByteArray("200912230"));
        }

        // Anonymous registrations are limited per address.
        QCOMPARE(post(port, "/adddomain", "domain=one.example").status, 200);
        QCOMPARE(post(port, "/adddomain", "domain=two.example").status, 200);
        const Answer third = post(port, "/adddomain", "domain=three.example");
        QCOMPARE(third.status, 429);
        QVERIFY(!yztest::serverCommand(db.url(), {QStringLiteral("domains"), QStringLiteral("list")})
                         .out.contains("three.example"));
        QCOMPARE(server.process().state(), QProcess::Running);
    }

    // A client that asks and never reads gets its answers held back, not
    // piled up in the service's memory.
    void clientThatDoesNotRead()
    {
        yztest::ThrowawayDatabase db(false);
        QFile package(db.dir() + QStringLiteral("/yanzhou_amd64.deb"));
        QVERIFY(package.open(QIODevice::WriteOnly));
        package.write(QByteArray(1024 * 1024, 'p'));
        package.close();
        yztest::ServingProcess server(db.url(), {QStringLiteral("--downloads"), db.dir()});
        QVERIFY(server.started());
        const auto residentKiB = [&server] {
            QFile status(QStringLiteral("/proc/%1/status").arg(server.process().processId()));
            if (!status.open(QIODevice::ReadOnly))
                return qint64(-1);
            for (const QByteArray &line : status.readAll().split('\n'))
                if (line.startsWith("VmRSS:"))
                    return line.mid(6).trimmed().split(' ').first().toLongLong();
            return qint64(-1);
        };
        QCOMPARE(get(server.port(), "/download/yanzhou_amd64.deb").body.size(), 1024 * 1024);
        const qint64 before = residentKiB();
        QTcpSocket greedy;
        greedy.setReadBufferSize(1); // this side takes almost nothing
        greedy.connectToHost(QStringLiteral("127.0.0.1"), quint16(server.port()));
        QVERIFY(greedy.waitForConnected(5000));
        for (int batch = 0; batch < 10; ++batch) {
            QByteArray requests;
            for (int i = 0; i < 10; ++i)
                requests += "GET /download/yanzhou_amd64.deb HTTP/1.1\r\nHost: h\r\n\r\n";
            greedy.write(requests);
            greedy.flush();
            QTest::qWait(100);
        }
        QTest::qWait(500);
        const qint64 grown = residentKiB() - before;
        // A hundred answers of 1 MiB were asked for; only a few may wait.
        QVERIFY2(grown < 30 * 1024, qPrintable(QStringLiteral("grew by %1 KiB").arg(grown)));
        QCOMPARE(get(server.port(), "/yzupdate/").body, QByteArray("200912230"));
    }

    // A suggestion holding NUL is stored alike on both databases.
    void suggestionWithNul_data() { yztest::addBackendRows(); }
    void suggestionWithNul()
    {
        QFETCH(bool, postgres);
        yztest::ThrowawayDatabase db(postgres);
        QVERIFY(!db.url().isEmpty());
        yztest::ServingProcess server(db.url());
        QVERIFY(server.started());
        for (int i = 0; i < 3; ++i)
            QCOMPARE(post(server.port(), "/yztool/a/", "c=a%00b").status, 200);
        const yztest::CommandResult listed =
                yztest::serverCommand(db.url(), {QStringLiteral("suggestions"), QStringLiteral("--json")});
        const QList<QByteArray> lines = listed.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 3);
        QCOMPARE(QJsonDocument::fromJson(lines.first()).object().value(QStringLiteral("text")).toString(),
                 QStringLiteral("a\uFFFDb"));
    }

    // Signed rules: the key pair, publishing with the clients' checks, and
    // the one fixed address that answers the newest, 304 to a client that
    // has it, 404 while nothing is published.
    void publishedRulesServed_data() { yztest::addBackendRows(); }
    void publishedRulesServed()
    {
        QFETCH(bool, postgres);
        yztest::ThrowawayDatabase db(postgres);
        yztest::ServingProcess server(db.url());
        QVERIFY(server.started());
        const int port = server.port();
        QCOMPARE(get(port, "/yzrules/?ver=0").status, 404);

        QTemporaryDir dir;
        const QString key = dir.filePath(QStringLiteral("vendor.key"));
        yztest::CommandResult r = yztest::serverCommand(db.url(), {"rules", "keygen", "--out", key});
        QCOMPARE(r.status, 0);
        const QByteArray publicKey = QByteArray::fromBase64(r.out.trimmed());
        QCOMPARE(publicKey.size(), 32);
        // Readable and writable by its owner, by nobody else.
        QCOMPARE(QFile::permissions(key) & 0x0FFF, QFile::ReadUser | QFile::WriteUser);
        const QByteArray keyFile = readAll(key);
        QVERIFY(yztest::serverCommand(db.url(), {"rules", "keygen", "--out", key}).status != 0); // never overwritten
        QCOMPARE(readAll(key), keyFile);

        const QString bad = dir.filePath(QStringLiteral("bad.json"));
        writeAll(bad, "{\"baidu\": {\"count\": {\"pattern\": \"(\", \"group\": 1}}}");
        r = yztest::serverCommand(db.url(), {"rules", "publish", bad, "--key", key});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains("baidu.count.pattern"), r.err.constData());
        const QString good = dir.filePath(QStringLiteral("good.json"));
        const QByteArray content = "{\"baidu\": {\"count\": {\"pattern\": \"结果约([\\\\d,]+)个\", \"group\": 1}}}";
        writeAll(good, content);
        r = yztest::serverCommand(db.url(), {"rules", "publish", good, "--key", key});
        QCOMPARE(r.status, 0);

        QTRY_COMPARE_WITH_TIMEOUT(get(port, "/yzrules/?ver=0").status, 200, 5000);
        const Answer a = get(port, "/yzrules/?ver=0");
        QCOMPARE(a.header("ETag"), QByteArray("\"1\""));
        QString error;
        const std::optional<yz::PublishedRules> rules = yz::decodePublishedRules(a.body, &error);
        QVERIFY2(rules, qPrintable(error));
        QCOMPARE(rules->content, content);
        QVERIFY2(yz::verifyPublishedRules(*rules, publicKey, &error), qPrintable(error));
        QCOMPARE(get(port, "/yzrules/?ver=1").status, 304);
        // The ETag given back (If-None-Match) does what ?ver= does.
        const auto conditional = [port](const QByteArray &tags) {
            return yztest::exchange(port,
                                    "GET /yzrules/ HTTP/1.1\r\nHost: 127.0.0.1\r\nIf-None-Match: " + tags + "\r\n\r\n");
        };
        QCOMPARE(conditional("\"1\"").status, 304);
        QCOMPARE(conditional("\"0\", W/\"1\"").status, 304);
        QCOMPARE(conditional("*").status, 304);
        const Answer changed = conditional("\"0\"");
        QCOMPARE(changed.status, 200);
        QCOMPARE(changed.header("ETag"), QByteArray("\"1\""));
        QCOMPARE(changed.body, a.body);

        QCOMPARE(yztest::serverCommand(db.url(), {"rules", "publish", good, "--key", key}).out,
                 QByteArray("published version 2\n"));
        QTRY_COMPARE_WITH_TIMEOUT(get(port, "/yzrules/?ver=1").header("ETag"), QByteArray("\"2\""), 5000);
        r = yztest::serverCommand(db.url(), {"rules", "list"});
        QCOMPARE(r.out.count('\n'), 2);
        QVERIFY(r.out.startsWith("1\t"));
        QCOMPARE(yztest::serverCommand(db.url(), {"rules", "show", "1"}).out, content);
        QCOMPARE(yztest::serverCommand(db.url(), {"rules", "show", "7"}).status, 1);

        // Signed on a workstation, imported where the database is: the
        // signature must be a trusted key's, the version newer than the newest.
        const QString workstationKey = dir.filePath(QStringLiteral("workstation.key"));
        const QByteArray workstationPublic =
                yztest::serverCommand(db.url(), {"rules", "keygen", "--out", workstationKey}).out.trimmed();
        const QString signedFile = dir.filePath(QStringLiteral("rules.signed"));
        r = yztest::serverCommand(QStringLiteral("/nonexistent/never-made.sqlite"),
                                  {"rules", "sign", good, "--key", workstationKey, "--version", "5", "--out",
                                   signedFile});
        QVERIFY2(r.status == 0 && r.out == "signed version 5\n", r.err.constData());
        QVERIFY(!QFile::exists(QStringLiteral("/nonexistent/never-made.sqlite")));
        r = yztest::serverCommand(db.url(), {"rules", "import", signedFile});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains("not signed by a trusted key"), r.err.constData());
        QVERIFY(QDir().mkpath(yz::userRulesKeyDirectory()));
        const QString trustedPub = yz::userRulesKeyDirectory() + QStringLiteral("/workstation.pub");
        writeAll(trustedPub, workstationPublic + '\n');
        r = yztest::serverCommand(db.url(), {"rules", "import", signedFile});
        QVERIFY2(r.status == 0 && r.out == "imported version 5\n", r.err.constData());
        QTRY_COMPARE_WITH_TIMEOUT(get(port, "/yzrules/?ver=2").header("ETag"), QByteArray("\"5\""), 5000);
        r = yztest::serverCommand(db.url(), {"rules", "import", signedFile}); // replayed
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains("not newer"), r.err.constData());
        QFile::remove(trustedPub);
    }

    // What every HTTP thread shares: an answer is good in the generation it
    // was made in only; a picture dropped on reload cannot be renewed (its
    // request then draws it afresh); the per-address limits count every
    // thread's requests together.
    void sharedAnswersFollowTheData()
    {
        using yz::server::SharedAnswers;
        SharedAnswers shared(2, 1);
        QVERIFY(!shared.kept(SharedAnswers::Kept::News, 1));
        shared.keep(SharedAnswers::Kept::News, 1, "news");
        QCOMPARE(shared.kept(SharedAnswers::Kept::News, 1).value_or(QByteArray()), QByteArray("news"));
        QVERIFY(!shared.kept(SharedAnswers::Kept::News, 2));
        QVERIFY(!shared.kept(SharedAnswers::Kept::Version, 1));

        const auto thumbnail = SharedAnswers::Picture::Thumbnail;
        shared.keepPicture(thumbnail, QStringLiteral("example.com"), 7, 1, "jpeg");
        SharedAnswers::FoundPicture found = shared.picture(thumbnail, QStringLiteral("example.com"), 2);
        QVERIFY(!found.current);
        QCOMPARE(found.revision, 7);
        QCOMPARE(shared.renewPicture(thumbnail, QStringLiteral("example.com"), 2).value_or(QByteArray()),
                 QByteArray("jpeg"));
        QVERIFY(shared.picture(thumbnail, QStringLiteral("example.com"), 2).current);
        QVERIFY(!shared.picture(SharedAnswers::Picture::Large, QStringLiteral("example.com"), 2).current);
        shared.keepRank(QStringLiteral("pr:example.com"), 2, "Rank_1:1:3\n");
        QCOMPARE(shared.forgetDrawn(), 2);
        QVERIFY(!shared.renewPicture(thumbnail, QStringLiteral("example.com"), 3));
        QVERIFY(!shared.rank(QStringLiteral("pr:example.com"), 2));
        QVERIFY(shared.kept(SharedAnswers::Kept::News, 1)); // follows the data, not the reload

        QVERIFY(shared.allowSuggestion(QStringLiteral("1.2.3.4")));
        QVERIFY(shared.allowSuggestion(QStringLiteral("1.2.3.4")));
        QVERIFY(!shared.allowSuggestion(QStringLiteral("1.2.3.4")));
        QVERIFY(shared.allowRegistration(QStringLiteral("1.2.3.4")));
        QVERIFY(!shared.allowRegistration(QStringLiteral("1.2.3.4")));
        QVERIFY(shared.firstAsk(QStringLiteral("example.com")));
        QVERIFY(!shared.firstAsk(QStringLiteral("example.com")));
    }

    void downloadsServeOneFixedFile()
    {
        yztest::ThrowawayDatabase db(false);
        QFile package(db.dir() + QStringLiteral("/yanzhou_amd64.deb"));
        QVERIFY(package.open(QIODevice::WriteOnly));
        package.write("!<arch>\npackage");
        package.close();
        QFile secret(db.dir() + QStringLiteral("/secret.txt"));
        QVERIFY(secret.open(QIODevice::WriteOnly));
        secret.write("secret");
        secret.close();
        yztest::ServingProcess server(db.url(), {QStringLiteral("--downloads"), db.dir()});
        QVERIFY(server.started());
        QVERIFY(get(server.port(), "/?update").body.contains("href=\"/download/yanzhou_amd64.deb\""));
        const Answer a = get(server.port(), "/download/yanzhou_amd64.deb");
        QCOMPARE(a.status, 200);
        QCOMPARE(a.body, QByteArray("!<arch>\npackage"));
        for (const QByteArray &raw :
             {QByteArray("/download/secret.txt"), QByteArray("/download/../secret.txt"),
              QByteArray("/download/%2e%2e%2fsecret.txt"), QByteArray("/download/service.sqlite")})
            QCOMPARE(get(server.port(), raw).status, 404);
    }
};

QTEST_GUILESS_MAIN(TestServerHttp)
#include "tst_serverhttp.moc"
