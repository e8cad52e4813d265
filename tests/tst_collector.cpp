// The collector: one Baidu request per tracked domain and day with the
// window's own row and scraper, the outcome stored, politeness, several
// instances sharing the work through the database, and a database that goes
// away and comes back.
#include "server/Collector.h"
#include "server/Database.h"
#include "server/VendorStore.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/SamplePages.h"
#include "tests/support/ServerUnderTest.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <csignal>

using namespace yz::server;

namespace {

// Baidu as the collector sees it: the answer depends on the domain asked.
yztest::FakeResponse baiduAnswer(const yztest::RecordedRequest &request)
{
    const QByteArray target = QByteArray::fromPercentEncoding(request.target);
    yztest::FakeResponse r;
    if (target.contains("site:none."))
        r.body = yztest::gbk(QStringLiteral("<p>抱歉，没有找到与“x”相关的网页。</p>"));
    else if (target.contains("site:gone."))
        r.status = 404;
    else if (target.contains("site:odd."))
        r.body = "<html>a page of another shape</html>";
    else if (target.contains("site:busy."))
        r.status = 429;
    else if (target.contains("site:reworded."))
        r.body = yztest::gbk(QStringLiteral("<div>百度为您找到相关结果约5,678个</div>"));
    else
        r.body = yztest::gbk(QStringLiteral("<div>百度为您找到相关网页约1,234篇</div>"));
    return r;
}

// How often each domain was asked for.
QMap<QString, int> askedPerDomain(const yztest::FakeHttpServer &baidu)
{
    QMap<QString, int> asked;
    for (const yztest::RecordedRequest &r : baidu.requests()) {
        const QByteArray target = QByteArray::fromPercentEncoding(r.target);
        asked[QString::fromUtf8(target.mid(target.indexOf("site:") + 5))] += 1;
    }
    return asked;
}

// Runs a yanzhou-server command while this process's fake servers answer.
yztest::CommandResult runServer(const QString &db, const QStringList &args)
{
    QProcess process;
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(QStringLiteral(YZ_SERVER), args + QStringList{QStringLiteral("--db"), db});
    if (!process.waitForStarted() || !finished.wait(120000))
        return {};
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

// Forwards TCP connections to another port, until told to drop everything:
// a database server that goes away and comes back, as the service sees it.
class Relay : public QObject {
public:
    explicit Relay(quint16 target)
        : m_target(target)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *client = m_server.nextPendingConnection()) {
                if (!m_up) {
                    client->abort();
                    client->deleteLater();
                    continue;
                }
                auto *upstream = new QTcpSocket(client);
                upstream->connectToHost(QHostAddress::LocalHost, m_target);
                connect(client, &QTcpSocket::readyRead, upstream,
                        [client, upstream] { upstream->write(client->readAll()); });
                connect(upstream, &QTcpSocket::readyRead, client,
                        [client, upstream] { client->write(upstream->readAll()); });
                connect(client, &QTcpSocket::disconnected, upstream, &QTcpSocket::abort);
                connect(upstream, &QTcpSocket::disconnected, client, &QTcpSocket::abort);
                m_clients.append(client);
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    void setUp(bool up)
    {
        m_up = up;
        if (!up) {
            for (const QPointer<QTcpSocket> &client : std::as_const(m_clients))
                if (client)
                    client->abort();
            m_clients.clear();
        }
    }

private:
    QTcpServer m_server;
    quint16 m_target;
    bool m_up = true;
    QList<QPointer<QTcpSocket>> m_clients;
};

} // namespace

class TestCollector : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        m_baidu.setScript(baiduAnswer);
        QJsonObject endpoints{{QStringLiteral("baidu"), QStringLiteral("http://127.0.0.1:%1").arg(m_baidu.port())}};
        m_endpoints = m_dir.filePath(QStringLiteral("endpoints.json"));
        QFile file(m_endpoints);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(endpoints).toJson());
    }
    void init() { m_baidu.clear(); }

    void collectsEachDomainOncePerDay_data() { yztest::addBackendRows(); }
    void collectsEachDomainOncePerDay()
    {
        QFETCH(bool, postgres);
        yztest::ThrowawayDatabase db(postgres);
        const QStringList domains = {QStringLiteral("counted.example"), QStringLiteral("none.example"),
                                     QStringLiteral("gone.example"), QStringLiteral("odd.example"),
                                     QStringLiteral("busy.example")};
        for (const QString &d : domains)
            QCOMPARE(runServer(db.url(), {QStringLiteral("domains"), QStringLiteral("add"), d}).status, 0);
        const QStringList collect = {QStringLiteral("collect"),           QStringLiteral("--once"),
                                     QStringLiteral("--endpoints"),       m_endpoints,
                                     QStringLiteral("--collect-rate"),    QStringLiteral("50"),
                                     QStringLiteral("--collect-backoff"), QStringLiteral("1")};
        yztest::CommandResult r = runServer(db.url(), collect);
        QCOMPARE(r.status, 0);
        QVERIFY2(r.err.contains("collected 2 counts, 3 failures"), r.err.constData());
        QMap<QString, int> expected;
        for (const QString &d : domains)
            expected[d] = 1;
        QCOMPARE(askedPerDomain(m_baidu), expected);
        QCOMPARE(m_baidu.requests().first().method, QByteArray("GET"));

        // The plain list has headings and says each status in words; --json
        // has the same rows and the stored outcome beside the words.
        const QByteArray listed = runServer(db.url(), {QStringLiteral("domains"), QStringLiteral("list")}).out;
        QVERIFY2(listed.startsWith("domain\tlast count\tlast checked\tnext\tstatus\n"), listed.constData());
        QCOMPARE(listed.count('\n'), 6);
        QMap<QString, QJsonObject> rows;
        const QByteArray json =
                runServer(db.url(), {QStringLiteral("domains"), QStringLiteral("list"), QStringLiteral("--json")}).out;
        for (const QByteArray &line : json.trimmed().split('\n')) {
            const QJsonObject row = QJsonDocument::fromJson(line).object();
            rows.insert(row.value(QStringLiteral("domain")).toString(), row);
        }
        QCOMPARE(rows.size(), 5);
        const QString tomorrow = QDateTime::currentDateTimeUtc().date().addDays(1).toString(Qt::ISODate);
        const auto status = [&rows](const char *domain) {
            return rows.value(QLatin1String(domain)).value(QStringLiteral("status")).toString();
        };
        QCOMPARE(rows.value(QStringLiteral("counted.example")).value(QStringLiteral("last_count")).toInt(), 1234);
        QCOMPARE(rows.value(QStringLiteral("counted.example")).value(QStringLiteral("next")).toString(), tomorrow);
        QCOMPARE(status("counted.example"), QStringLiteral("counted"));
        QCOMPARE(rows.value(QStringLiteral("none.example")).value(QStringLiteral("last_count")).toInt(), 0);
        QCOMPARE(status("gone.example"), QStringLiteral("HTTP error 404"));
        QCOMPARE(status("odd.example"), QStringLiteral("page not recognised"));
        QCOMPARE(status("busy.example"), QStringLiteral("refused by the search engine (HTTP 429)"));
        QCOMPARE(rows.value(QStringLiteral("busy.example")).value(QStringLiteral("outcome")).toString(),
                 QStringLiteral("频 HTTP 429"));
        QVERIFY(rows.value(QStringLiteral("gone.example")).value(QStringLiteral("last_count")).isNull());
        QVERIFY(listed.contains("\nbusy.example\t-\t"));

        // The same day again: counted domains are done, failures wait for a
        // later round; nothing is asked twice.
        r = runServer(db.url(), collect);
        QCOMPARE(r.status, 0);
        QCOMPARE(askedPerDomain(m_baidu), expected);

        const auto database = yztest::openDatabase(db.url());
        QVERIFY(database);
        VendorStore store(*database);
        const QList<HistoryPoint> history = store.history(QStringLiteral("counted.example")).value();
        QCOMPARE(history.size(), 1);
        QCOMPARE(history[0].count, 1234);
        QCOMPARE(history[0].day, QDateTime::currentDateTimeUtc().date());
        QVERIFY(store.historyRevision(QStringLiteral("counted.example")).value() > 0);
        QVERIFY(store.history(QStringLiteral("gone.example")).value().isEmpty());
    }

    void refusalSlowsDownAndBudgetStops()
    {
        yztest::ThrowawayDatabase db(false);
        const auto database = yztest::openDatabase(db.url());
        QVERIFY(database);
        VendorStore store(*database);
        for (const char *d : {"busy.example", "a.example", "b.example", "c.example"})
            QVERIFY(store.track(QString::fromLatin1(d), QStringLiteral("operator")));
        yz::ServiceHosts hosts;
        hosts.setBase(yz::Service::Baidu, QStringLiteral("http://127.0.0.1:%1").arg(m_baidu.port()));
        CollectorConfig config;
        config.ratePerSecond = 40;
        config.backoffS = 1;
        config.dailyBudget = 3;
        Collector collector(*database, hosts, config, QStringLiteral("test"));
        QSignalSpy finished(&collector, &Collector::roundFinished);
        QElapsedTimer clock;
        clock.start();
        collector.runRound();
        QVERIFY(finished.wait(20000));
        // Three requests (the budget), the refused one first in name order:
        // the rate halved and the next request waited out the pause.
        QCOMPARE(m_baidu.requests().size(), 3);
        QCOMPARE(collector.currentRate() < 40, true);
        QVERIFY(clock.elapsed() >= 1000);
        QCOMPARE(collector.totals().counted, 2);
    }

    // A page in new words reads as unrecognised; a rules file given to the
    // collector reads it, so the trend history is fixed with the same rule
    // as the command line.
    void rulesFileFixesTheHistory()
    {
        yztest::ThrowawayDatabase db(false);
        QCOMPARE(runServer(db.url(),
                           {QStringLiteral("domains"), QStringLiteral("add"), QStringLiteral("reworded.example")})
                         .status,
                 0);
        const QString rules = m_dir.filePath(QStringLiteral("rules.json"));
        QFile file(rules);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral(
                           "{\"baidu\": {\"count\": {\"pattern\": \"百度为您找到相关结果(约)?([\\\\s\\\\S]+?)个\"}}}")
                           .toUtf8());
        file.close();
        yztest::CommandResult r =
                runServer(db.url(),
                          {QStringLiteral("collect"), QStringLiteral("--once"), QStringLiteral("--endpoints"),
                           m_endpoints, QStringLiteral("--rules"), rules});
        QCOMPARE(r.status, 0);
        const auto database = yztest::openDatabase(db.url());
        QVERIFY(database);
        const QList<HistoryPoint> history = VendorStore(*database).history(QStringLiteral("reworded.example")).value();
        QCOMPARE(history.size(), 1);
        QCOMPARE(history[0].count, 5678);
        // A rules file with a mistake stops the command before anything is asked.
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("{\"baidu\": {\"count\": {\"pattern\": \"(unclosed\"}}}");
        file.close();
        r = runServer(db.url(),
                      {QStringLiteral("collect"), QStringLiteral("--once"), QStringLiteral("--rules"), rules});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains("baidu.count.pattern"), r.err.constData());
    }

    // An engine that cannot be reached is the collector's failure, not the
    // domain's: the domain's status says it was not asked, and the log warns
    // once per round, naming the host.
    void unreachableEngineIsNotTheDomainsFault()
    {
        yztest::ThrowawayDatabase db(false);
        for (const QString &d : {QStringLiteral("one.example"), QStringLiteral("two.example")})
            QCOMPARE(runServer(db.url(), {QStringLiteral("domains"), QStringLiteral("add"), d}).status, 0);
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close(); // nothing listens there now
        // Its own endpoints file: the other tests' points at the fake Baidu.
        QTemporaryDir own;
        const QString endpoints = yztest::writeBaiduEndpoints(own.path(), port);
        const yztest::CommandResult r =
                runServer(db.url(),
                          {QStringLiteral("collect"), QStringLiteral("--once"), QStringLiteral("--endpoints"),
                           endpoints, QStringLiteral("--collect-rate"), QStringLiteral("100")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.err.count("cannot reach 127.0.0.1"), 1);
        const yztest::CommandResult listed = runServer(db.url(), {QStringLiteral("domains"), QStringLiteral("list")});
        QCOMPARE(listed.out.count("not asked: Baidu unreachable (127.0.0.1, transport 12029)"), 2);
    }

    // A rule that read values and then reads unrecognised pages is marked
    // broken (logged once, shown first by rules health); a published fix is
    // taken up by the next fetch and the mark clears.
    void brokenRuleNoticedAndCleared_data() { yztest::addBackendRows(); }
    void brokenRuleNoticedAndCleared()
    {
        QFETCH(bool, postgres);
        yztest::ThrowawayDatabase db(postgres);
        const auto add = [&](const QString &domain) {
            return runServer(db.url(), {QStringLiteral("domains"), QStringLiteral("add"), domain}).status;
        };
        const QStringList collect = {QStringLiteral("collect"),        QStringLiteral("--once"),
                                     QStringLiteral("--endpoints"),    m_endpoints,
                                     QStringLiteral("--collect-rate"), QStringLiteral("1000")};
        for (int i = 0; i < 3; ++i)
            QCOMPARE(add(QStringLiteral("fine%1.example").arg(i)), 0);
        QCOMPARE(runServer(db.url(), collect).status, 0);
        // Baidu changes its wording for every domain asked from here on.
        for (int i = 0; i < 20; ++i)
            QCOMPARE(add(QStringLiteral("reworded.n%1.example").arg(i)), 0);
        yztest::CommandResult r = runServer(db.url(), collect);
        QCOMPARE(r.status, 0);
        QCOMPARE(r.err.count("rule baidu/bd1 is broken"), 1);
        QVERIFY2(r.err.contains("reworded.n"), r.err.constData()); // an example address
        const QStringList health = {QStringLiteral("rules"), QStringLiteral("health")};
        r = runServer(db.url(), health);
        QCOMPARE(r.status, 0);
        QList<QByteArray> lines = r.out.split('\n');
        QVERIFY2(lines.value(1).startsWith("baidu/bd1\t23\t86%\t0\t1234\t") && lines.value(1).contains("BROKEN"),
                 r.out.constData());

        // The operator publishes a fixed rule; the collector reads with it.
        const QString key = m_dir.filePath(QStringLiteral("key-%1").arg(postgres));
        QFile::remove(key);
        QCOMPARE(runServer(db.url(), {QStringLiteral("rules"), QStringLiteral("keygen"), QStringLiteral("--out"), key})
                         .status,
                 0);
        const QString fixed = m_dir.filePath(QStringLiteral("fixed.json"));
        QFile file(fixed);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"j({"baidu": {"count": {"pattern": "百度为您找到相关(网页|结果)约?([\\d,]+)(篇|个)"}}})j");
        file.close();
        r = runServer(db.url(),
                      {QStringLiteral("rules"), QStringLiteral("publish"), fixed, QStringLiteral("--key"), key});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QByteArray("published version 1\n"));
        QCOMPARE(add(QStringLiteral("reworded.fixed.example")), 0);
        r = runServer(db.url(), collect);
        QVERIFY2(r.err.contains("published rules 1") && r.err.contains("rule baidu/bd1 reads values again"),
                 r.err.constData());
        const auto database = yztest::openDatabase(db.url());
        QVERIFY(database);
        QCOMPARE(VendorStore(*database).history(QStringLiteral("reworded.fixed.example")).value().value(0).count, 5678);
        r = runServer(db.url(), health);
        lines = r.out.split('\n');
        QVERIFY2(lines.value(1).startsWith("baidu/bd1\t24\t") && lines.value(1).endsWith("\tok"), r.out.constData());
    }

    // Strangers' registrations come last: with a small budget the operator's
    // domains and those the window asked about are fetched first, even when
    // a domain first registered anonymously is added by the operator later.
    void budgetGoesToTheOperatorFirst_data() { yztest::addBackendRows(); }
    void budgetGoesToTheOperatorFirst()
    {
        QFETCH(bool, postgres);
        yztest::ThrowawayDatabase db(postgres);
        const auto database = yztest::openDatabase(db.url());
        QVERIFY(database);
        VendorStore store(*database);
        for (int i = 0; i < 20; ++i)
            QVERIFY(store.track(QStringLiteral("a%1.example").arg(i), QStringLiteral("register")));
        QVERIFY(store.track(QStringLiteral("zz-operator.example"), QStringLiteral("operator")));
        QVERIFY(store.track(QStringLiteral("a5.example"), QStringLiteral("operator")));
        QVERIFY(store.trackAsked(QStringLiteral("zz-window.example")).value());
        QVERIFY(store.track(QStringLiteral("zz-window.example"), QStringLiteral("register")));
        yz::ServiceHosts hosts;
        hosts.setBase(yz::Service::Baidu, QStringLiteral("http://127.0.0.1:%1").arg(m_baidu.port()));
        CollectorConfig config;
        config.ratePerSecond = 100;
        config.dailyBudget = 3;
        Collector collector(*database, hosts, config, QStringLiteral("test"));
        QSignalSpy finished(&collector, &Collector::roundFinished);
        collector.runRound();
        QVERIFY(finished.wait(20000));
        const QMap<QString, int> asked = askedPerDomain(m_baidu);
        QCOMPARE(asked.keys(),
                 (QStringList{QStringLiteral("a5.example"), QStringLiteral("zz-operator.example"),
                              QStringLiteral("zz-window.example")}));
    }

    // Instances share the queue through PostgreSQL; one is killed while it
    // holds a claim, which another takes once it has expired. Every
    // domain-day is stored exactly once and asked for once, but for the one
    // request the killed instance may have had in flight.
    void instancesShareTheQueue()
    {
        if (yztest::postgresServer().isEmpty())
            QSKIP("needs the run's PostgreSQL server");
        yztest::ThrowawayDatabase db(true);
        QStringList domains;
        for (int i = 0; i < 40; ++i)
            domains << QStringLiteral("d%1.example").arg(i, 2, 10, QLatin1Char('0'));
        for (const QString &d : domains)
            QCOMPARE(runServer(db.url(), {QStringLiteral("domains"), QStringLiteral("add"), d}).status, 0);
        m_baidu.setScript([](const yztest::RecordedRequest &request) {
            yztest::FakeResponse r = baiduAnswer(request);
            r.delayMs = 40;
            return r;
        });
        const QStringList options = {QStringLiteral("--endpoints"),     m_endpoints,
                                     QStringLiteral("--collect-rate"),  QStringLiteral("100"),
                                     QStringLiteral("--claim-timeout"), QStringLiteral("2")};

        QProcess doomed;
        doomed.start(QStringLiteral(YZ_SERVER),
                     QStringList{QStringLiteral("collect"), QStringLiteral("--db"), db.url()} + options);
        QVERIFY(doomed.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(m_baidu.requests().size() >= 3, 20000);
        ::kill(pid_t(doomed.processId()), SIGKILL);
        doomed.waitForFinished();

        QProcess a, b;
        QSignalSpy aDone(&a, &QProcess::finished), bDone(&b, &QProcess::finished);
        for (QProcess *p : {&a, &b})
            p->start(QStringLiteral(YZ_SERVER),
                     QStringList{QStringLiteral("collect"), QStringLiteral("--once"), QStringLiteral("--db"), db.url()}
                             + options);
        QTRY_VERIFY_WITH_TIMEOUT(!aDone.isEmpty() && !bDone.isEmpty(), 60000);
        QTest::qWait(2100); // the killed instance's claim expires
        QCOMPARE(runServer(db.url(), QStringList{QStringLiteral("collect"), QStringLiteral("--once")} + options).status,
                 0);

        const auto database = yztest::openDatabase(db.url());
        QVERIFY(database);
        QSqlQuery query(database->db());
        QVERIFY(query.exec(QStringLiteral("SELECT COUNT(*), COUNT(DISTINCT domain) FROM history")));
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toInt(), 40);
        QCOMPARE(query.value(1).toInt(), 40);
        const QMap<QString, int> asked = askedPerDomain(m_baidu);
        QCOMPARE(asked.size(), 40);
        int twice = 0;
        for (const int n : asked)
            twice += n > 1 ? 1 : 0;
        QVERIFY2(twice <= 1, qPrintable(QString::number(twice)));
        m_baidu.setScript(baiduAnswer);
    }

    void pictureRequestsTrackUpToTheCap()
    {
        yztest::ThrowawayDatabase db(false);
        yztest::ServingProcess server(db.url(), {QStringLiteral("--track-cap"), QStringLiteral("2")});
        QVERIFY(server.started());
        for (const char *d : {"one.example", "ONE.example", "two.example", "three.example", "..", "x"}) {
            QTcpSocket s;
            s.connectToHost(QStringLiteral("127.0.0.1"), quint16(server.port()));
            QVERIFY(s.waitForConnected(5000));
            s.write(QByteArray("GET /yzclientthumb/") + d + "_bd1.jpg HTTP/1.1\r\nHost: h\r\n\r\n");
            QVERIFY(s.waitForReadyRead(5000));
        }
        const QByteArray listed =
                yztest::serverCommand(db.url(), {QStringLiteral("domains"), QStringLiteral("list")}).out;
        QCOMPARE(listed.count('\n'), 3); // the headings and two domains
        QVERIFY(listed.contains("\none.example\t"));
        QVERIFY(listed.contains("\ntwo.example\t"));
    }

    // The database goes away: requests get 503, nothing crashes, and the
    // service answers again once the database is back.
    void databaseOutage()
    {
        if (yztest::postgresServer().isEmpty())
            QSKIP("needs the run's PostgreSQL server");
        yztest::ThrowawayDatabase db(true);
        const QUrl direct(db.url());
        Relay relay(quint16(direct.port()));
        QUrl relayed = direct;
        relayed.setPort(relay.port());
        yztest::ServingProcess server(relayed.toString());
        QVERIFY(server.started());
        auto status = [&] {
            // The relay lives in this process: wait with the event loop turning.
            QTcpSocket s;
            s.connectToHost(QStringLiteral("127.0.0.1"), quint16(server.port()));
            s.write("GET /example.com HTTP/1.1\r\nHost: h\r\n\r\n");
            QByteArray data;
            (void)QTest::qWaitFor(
                    [&] {
                        data += s.readAll();
                        return data.contains("\r\n\r\n");
                    },
                    15000);
            return data.mid(9, 3).toInt();
        };
        QCOMPARE(status(), 200);
        relay.setUp(false);
        QCOMPARE(status(), 503);
        QCOMPARE(status(), 503);
        relay.setUp(true);
        QTRY_COMPARE_WITH_TIMEOUT(status(), 200, 10000);
        QCOMPARE(server.process().state(), QProcess::Running);
    }

private:
    QTemporaryDir m_dir;
    yztest::FakeHttpServer m_baidu;
    QString m_endpoints;
};

QTEST_GUILESS_MAIN(TestCollector)
#include "tst_collector.moc"
