// Many domains at once: results in input order and in their own domain's
// place, the per-host limits across every job, the refusal slow-down, and the
// bounded look-ahead.
#include "cli/BatchRun.h"
#include "cli/Progress.h"
#include "cli/ResultOutput.h"
#include "net/HostGate.h"
#include "parsers/RulesFile.h"
#include "tests/support/FakeServices.h"
#include "tests/support/SamplePages.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using yz::Grid;
using yz::Service;
using yz::cli::BatchRun;
using yz::cli::DomainResult;

namespace {

// The number in a "dN.example" domain of a request target, or -1.
int domainNumber(const QByteArray &target)
{
    static const QRegularExpression number(QStringLiteral("d(\\d+)\\.example"));
    const QRegularExpressionMatch m = number.match(QString::fromLatin1(target));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QStringList numberedDomains(int count)
{
    QStringList domains;
    for (int i = 0; i < count; ++i)
        domains << QStringLiteral("d%1.example").arg(i);
    return domains;
}

// The count page of Baidu or Google (both read as GBK here) stating `n`.
QByteArray countPage(Service service, int n)
{
    return yztest::gbk(service == Service::Baidu ? QStringLiteral("找到相关网页约%1篇").arg(n)
                                                 : QStringLiteral("约 <b>%1</b> 个").arg(n));
}

// Baidu and Google count 1000 + the domain's number, after `delayMs`.
void serveNumberedCounts(yztest::FakeServices &services, int delayMs)
{
    for (Service s : {Service::Baidu, Service::Google}) {
        services[s].setScript([s, delayMs](const yztest::RecordedRequest &r) {
            yztest::FakeResponse response = yztest::ok(countPage(s, 1000 + domainNumber(r.target)));
            response.delayMs = delayMs;
            return response;
        });
    }
}

struct Finished {
    QList<DomainResult> results;
    bool done = false;
};

// Runs the batch to its end in a real event loop.
Finished runToEnd(BatchRun &batch, int timeoutMs = 60000)
{
    Finished f;
    QSignalSpy finished(&batch, &BatchRun::finished);
    batch.start([&f](const DomainResult &r) { f.results << r; });
    f.done = !finished.isEmpty() || finished.wait(timeoutMs);
    return f;
}

yz::PressGroups recentOnly()
{
    yz::PressGroups g;
    g.recent = true;
    return g;
}

// The gaps between consecutive requests a server received, in ms.
QList<double> gapsMs(const yztest::FakeHttpServer &server)
{
    QList<double> gaps;
    const auto &requests = server.requests();
    for (qsizetype i = 1; i < requests.size(); ++i)
        gaps << double(requests[i].receivedUs - requests[i - 1].receivedUs) / 1000.0;
    return gaps;
}

} // namespace

class TestBatchRun : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void inputOrderOwnValuesAndPerHostLimit();
    void defaultLimitIsOnePress();
    void delayBetweenRequestsToOneHost();
    void refusalSlowsOnlyItsHost();
    void lookAheadIsBounded();
    void everyCauseReachesTheJson();
    void gateByItself();
    void requestsThatCannotLeave();
    void progressLine();
    void baiduBlockPagesAreRefusals_data();
    void baiduBlockPagesAreRefusals();
    void refusingHostIsGivenUp();
    void answerEndsARunOfRefusals();
    void hostSummary();
    void refusingHostHoldsNoOtherHostUp();
};

void TestBatchRun::inputOrderOwnValuesAndPerHostLimit()
{
    yztest::FakeServices services;
    serveNumberedCounts(services, 60);
    // Later domains answer sooner, so they finish first and must wait.
    services[Service::Google].setScript([](const yztest::RecordedRequest &r) {
        const int n = domainNumber(r.target);
        yztest::FakeResponse response = yztest::ok(countPage(Service::Google, 1000 + n));
        response.delayMs = std::max(5, 200 - 15 * n);
        return response;
    });
    const QStringList domains = numberedDomains(12);
    BatchRun batch(services.hosts(), recentOnly(), domains, QString(), {8, 2, 0});
    const Finished f = runToEnd(batch);
    QVERIFY(f.done);
    QCOMPARE(f.results.size(), domains.size());
    for (int i = 0; i < domains.size(); ++i) {
        const DomainResult &r = f.results[i];
        QCOMPARE(r.domain, domains[i]);
        const QString own = QString::number(1000 + i);
        for (int col = 1; col <= 3; ++col) {
            QCOMPARE(r.grids[size_t(Grid::Tb3)][1][col], own); // Baidu within a day, week, month
            QCOMPARE(r.grids[size_t(Grid::Tb3)][2][col], own); // Google
        }
    }
    for (Service s : {Service::Baidu, Service::Google}) {
        QCOMPARE(services[s].requests().size(), 36);
        QCOMPARE(services[s].mostAtOnce(), 2); // the limit was reached, never passed
    }
    QCOMPARE(batch.gate().inFlightTotal(), 0);
}

// Without --per-host, a host gets what one press sends it at once: one
// domain runs as the window's press does, many never crowd a host more.
void TestBatchRun::defaultLimitIsOnePress()
{
    yztest::FakeServices services;
    serveNumberedCounts(services, 60);
    BatchRun batch(services.hosts(), recentOnly(), numberedDomains(12), QString(), {8, 0, 0});
    QVERIFY(runToEnd(batch).done);
    for (Service s : {Service::Baidu, Service::Google}) {
        QCOMPARE(services[s].requests().size(), 36);
        QCOMPARE(services[s].mostAtOnce(), 3); // a press asks each of them three times
    }
}

void TestBatchRun::delayBetweenRequestsToOneHost()
{
    yztest::FakeServices services;
    serveNumberedCounts(services, 0);
    BatchRun batch(services.hosts(), recentOnly(), numberedDomains(3), QString(), {3, 4, 120});
    QVERIFY(runToEnd(batch).done);
    for (Service s : {Service::Baidu, Service::Google}) {
        const QList<double> gaps = gapsMs(services[s]);
        QCOMPARE(gaps.size(), 8);
        for (double gap : gaps)
            // The gaps are measured where the requests arrive, which a busy
            // machine delays by a few milliseconds each.
            QVERIFY2(gap >= 100.0, qPrintable(QString::number(gap)));
    }
}

void TestBatchRun::refusalSlowsOnlyItsHost()
{
    yztest::FakeServices services;
    serveNumberedCounts(services, 0);
    services[Service::Google].setResponse(yztest::ok(yztest::gbk(QStringLiteral("<html>发送自动查询</html>"))));
    BatchRun batch(services.hosts(), recentOnly(), numberedDomains(2), QString(), {2, 2, 0});
    batch.gate().setRefusalBounds(80, 300);
    const Finished f = runToEnd(batch);
    QVERIFY(f.done);
    QCOMPARE(f.results[0].grids[size_t(Grid::Tb3)][2][1], QStringLiteral("频"));
    const QString google = yz::PageFetcher::gateKey(QUrl(services.hosts().base(Service::Google)));
    const QString baidu = yz::PageFetcher::gateKey(QUrl(services.hosts().base(Service::Baidu)));
    QCOMPARE(batch.gate().delayMs(google), 300); // 80, 160, 300 (the ceiling), …
    QCOMPARE(batch.gate().delayMs(baidu), 0);
    // Once the first refusals were read, Google's requests were spaced out.
    const QList<double> gaps = gapsMs(services[Service::Google]);
    QCOMPARE(gaps.size(), 5);
    QVERIFY2(gaps.last() >= 75.0, qPrintable(QString::number(gaps.last())));
}

void TestBatchRun::lookAheadIsBounded()
{
    yztest::FakeServices services;
    serveNumberedCounts(services, 0);
    services[Service::Baidu].setScript([](const yztest::RecordedRequest &r) {
        yztest::FakeResponse response = yztest::ok(countPage(Service::Baidu, 1));
        response.delayMs = domainNumber(r.target) == 0 ? 1500 : 0; // the first domain is slow
        return response;
    });
    yz::cli::BatchLimits limits{2, 8, 0};
    limits.heldBound = 0; // no look-ahead past the domains under way
    BatchRun batch(services.hosts(), recentOnly(), numberedDomains(60), QString(), limits);
    QSet<int> startedWhenFirstCame;
    Finished f;
    QSignalSpy finished(&batch, &BatchRun::finished);
    batch.start([&](const DomainResult &r) {
        if (f.results.isEmpty())
            for (const auto &request : services[Service::Baidu].requests())
                startedWhenFirstCame.insert(domainNumber(request.target));
        f.results << r;
    });
    QVERIFY(finished.wait(60000));
    QCOMPARE(f.results.size(), 60);
    // Two jobs, four jobs' worth of look-ahead: at most eight domains had
    // started while the first held everything up, and more than two had.
    QVERIFY2(startedWhenFirstCame.size() <= 8, qPrintable(QString::number(startedWhenFirstCame.size())));
    QVERIFY(startedWhenFirstCame.size() > 2);
}

// Each cause a cell can have reaches the --detail JSON with its status.
void TestBatchRun::everyCauseReachesTheJson()
{
    yztest::FakeServices services;
    yztest::serveEveryCause(services);
    yz::PressGroups common;
    common.common = true;
    yz::cli::BatchLimits limits;
    limits.timeoutMs = 500;
    BatchRun batch(services.hosts(), common, {QStringLiteral("example.com")}, QString(), limits);
    const Finished f = runToEnd(batch);
    QVERIFY(f.done);
    const QJsonObject report = QJsonDocument::fromJson(yz::cli::jsonReport(f.results.value(0), true)).object();
    const QJsonObject found = report["tb1"]["收录"].toObject();
    // The HTTP status when an HTTP answer came, else the transport status of
    // the failure; every cell names the address it asked.
    const struct {
        const char *engine;
        const char *value;
        const char *status;
        const char *numberKey;
        int number;
    } expected[] = {
            {"Baidu", "0", "none", "http", 200},          {"Google", "X", "failed", "transport", 12030},
            {"Yahoo", "X", "failed", "transport", 12002}, {"Sogou", "频", "refused", "http", 200},
            {"Youdao", "X", "failed", "http", 404},       {"Soso", "X", "unrecognised", "http", 200},
    };
    for (const auto &e : expected) {
        const QJsonObject cell = found[QString::fromLatin1(e.engine)].toObject();
        QCOMPARE(cell["value"].toString(), QString::fromUtf8(e.value));
        QCOMPARE(cell["status"].toString(), QString::fromLatin1(e.status));
        QCOMPARE(cell[QString::fromLatin1(e.numberKey)].toInt(), e.number);
        QCOMPARE(cell.contains(QStringLiteral("http")), QByteArrayView(e.numberKey) == "http");
        QVERIFY2(cell["address"].toString().contains(QStringLiteral("example.com")), e.engine);
    }
}

// The gate without a network: slots, release, owners gone, the refusal steps.
void TestBatchRun::gateByItself()
{
    yz::HostGate gate(2, 0);
    QStringList started;
    auto *owner = new QObject;
    for (const char *name : {"a1", "a2", "a3", "gone"})
        gate.enqueue(QStringLiteral("a"), QString::fromLatin1(name) == u"gone" ? owner : &gate,
                     [&started, name] { started << QString::fromLatin1(name); });
    QCOMPARE(started, (QStringList{"a1", "a2"})); // two slots
    QCOMPARE(gate.inFlight(QStringLiteral("a")), 2);
    QCOMPARE(gate.waitingTotal(), 2);
    delete owner;
    gate.release(QStringLiteral("a"));
    QCOMPARE(started, (QStringList{"a1", "a2", "a3"}));
    gate.release(QStringLiteral("a"));
    QCOMPARE(started.size(), 3); // the gone owner's request never starts
    QCOMPARE(gate.waitingTotal(), 0);
    gate.release(QStringLiteral("nobody")); // an unknown host is no harm
    QCOMPARE(gate.inFlightTotal(), 1);

    // Refusals: from the floor when no delay was set, from the set delay
    // otherwise, doubling up to the ceiling.
    gate.setRefusalBounds(1000, 5000);
    gate.slowDown(QStringLiteral("b"));
    QCOMPARE(gate.delayMs(QStringLiteral("b")), 1000);
    yz::HostGate paced(1, 300);
    paced.setRefusalBounds(1000, 5000);
    QCOMPARE(paced.delayMs(QStringLiteral("c")), 300);
    QList<int> steps;
    for (int i = 0; i < 5; ++i) {
        paced.slowDown(QStringLiteral("c"));
        steps << paced.delayMs(QStringLiteral("c"));
    }
    QCOMPARE(steps, (QList<int>{1000, 2000, 4000, 5000, 5000}));
    QCOMPARE(paced.delayMs(QStringLiteral("d")), 300); // other hosts keep theirs
}

// Rows whose address cannot be requested end at once; the batch still ends
// from the event loop, with every such cell failed.
void TestBatchRun::requestsThatCannotLeave()
{
    yztest::FakeServices services;
    yz::ScrapeRules rules;
    QString error;
    const QByteArray json = R"({"baidu": {"addresses": {"bd3": "http://{domain}/", "bd4": "http://{domain}/",
                                                       "bd5": "http://{domain}/"}},
                              "google": {"addresses": {"gg3": "http://{domain}/", "gg4": "http://{domain}/",
                                                       "gg5": "http://{domain}/"}}})";
    QVERIFY2(yz::applyRules(json, rules, &error), qPrintable(error));
    BatchRun batch(services.hosts(), recentOnly(), {QStringLiteral("a b"), QStringLiteral("c d")}, QString(),
                   {4, 2, 0});
    batch.setRules(&rules);
    QList<DomainResult> results;
    QSignalSpy finished(&batch, &BatchRun::finished);
    batch.start([&results](const DomainResult &r) { results << r; });
    QVERIFY(finished.isEmpty()); // not before the caller can wait for it
    QVERIFY(finished.wait(5000));
    QCOMPARE(results.size(), 2);
    QCOMPARE(results[1].grids[size_t(Grid::Tb3)][2][3], QStringLiteral("X"));
    QCOMPARE(results[1].statuses[size_t(Grid::Tb3)][2][3].cause, yz::CellStatus::Cause::Failed);
    QCOMPARE(services.requestCount(), 0);
}

void TestBatchRun::progressLine()
{
    yz::cli::BatchState s;
    s.done = 3;
    s.total = 10;
    s.requestsInFlight = 8;
    s.requestsWaiting = 12;
    s.slowestHost = QStringLiteral("www.baidu.com\x1b[2J");
    s.slowestMeanMs = 1250;
    s.remainingMs = 3723000;
    const QString line = yz::cli::Progress::line(s);
    QVERIFY2(line.startsWith(QStringLiteral("已完成 3/10  请求 8 进行中，12 排队  最慢 www.baidu.com")),
             qPrintable(line));
    QVERIFY(!line.contains(u'\x1b')); // a host name cannot drive the terminal
    QVERIFY(line.contains(QStringLiteral("1.2 秒")) || line.contains(QStringLiteral("1.3 秒")));
    QVERIFY(line.endsWith(QStringLiteral("剩余约 1:02:03")));
    s.done = 10;
    QVERIFY(!yz::cli::Progress::line(s).contains(QStringLiteral("剩余")));
}

void TestBatchRun::baiduBlockPagesAreRefusals_data()
{
    QTest::addColumn<QString>("page");
    QTest::newRow("verification") << QStringLiteral(
            "<html><head><title>百度安全验证</title></head><body>网络不给力，请稍后重试</body></html>");
    QTest::newRow("older error page") << QStringLiteral("<html><title>百度--您的访问出错了</title></html>");
}

// Baidu's block pages read as X, as any page of no known shape always has,
// but with the cause refused, and they slow Baidu down like Google's 频.
void TestBatchRun::baiduBlockPagesAreRefusals()
{
    QFETCH(QString, page);
    yztest::FakeServices services;
    serveNumberedCounts(services, 0);
    services[Service::Baidu].setResponse(yztest::ok(yztest::gbk(page)));
    BatchRun batch(services.hosts(), recentOnly(), numberedDomains(1), QString(), {1, 2, 0});
    batch.gate().setRefusalBounds(40, 100);
    const Finished f = runToEnd(batch);
    QVERIFY(f.done);
    QCOMPARE(f.results[0].grids[size_t(Grid::Tb3)][1][1], QStringLiteral("X"));
    QCOMPARE(f.results[0].statuses[size_t(Grid::Tb3)][1][1].cause, yz::CellStatus::Cause::Refused);
    QCOMPARE(f.results[0].statuses[size_t(Grid::Tb3)][2][1].cause, yz::CellStatus::Cause::Ok); // Google
    const QString baidu = yz::PageFetcher::gateKey(QUrl(services.hosts().base(Service::Baidu)));
    QVERIFY(batch.gate().delayMs(baidu) >= 40);
}

// A host refusing K times in a row is asked no more: its other cells are
// refused without a request, once said; the other hosts go on.
void TestBatchRun::refusingHostIsGivenUp()
{
    yztest::FakeServices services;
    serveNumberedCounts(services, 0);
    services[Service::Google].setResponse(yztest::ok(yztest::gbk(QStringLiteral("<html>发送自动查询</html>"))));
    yz::cli::BatchLimits limits{2, 1, 0};
    limits.giveUpAfter = 2;
    BatchRun batch(services.hosts(), recentOnly(), numberedDomains(6), QString(), limits);
    batch.gate().setRefusalBounds(20, 40);
    QSignalSpy gaveUp(&batch.gate(), &yz::HostGate::gaveUp);
    const Finished f = runToEnd(batch);
    QVERIFY(f.done);
    const QString google = yz::PageFetcher::gateKey(QUrl(services.hosts().base(Service::Google)));
    QCOMPARE(gaveUp.size(), 1);
    QCOMPARE(gaveUp.first().value(0).toString(), google);
    QCOMPARE(gaveUp.first().value(1).toInt(), 2);
    QCOMPARE(services[Service::Google].requests().size(), 2); // one request in flight at a time
    QCOMPARE(services[Service::Baidu].requests().size(), 18); // three recent counts of six domains
    const yz::CellStatus last = f.results[5].statuses[size_t(Grid::Tb3)][2][3];
    QCOMPARE(last.cause, yz::CellStatus::Cause::Refused);
    QCOMPARE(last.summary(), QStringLiteral("refused 连续拒绝，本次不再查询"));
    QCOMPARE(f.results[5].grids[size_t(Grid::Tb3)][1][3], QStringLiteral("1005"));
    const QList<yz::HostGate::HostSummary> summary = batch.gate().summary();
    const auto googleSummary = std::find_if(summary.cbegin(), summary.cend(),
                                            [&google](const yz::HostGate::HostSummary &h) { return h.host == google; });
    QVERIFY(googleSummary != summary.cend());
    QVERIFY(googleSummary->givenUp);
    QCOMPARE(googleSummary->requests, 2);
    QCOMPARE(googleSummary->refusals, 2);
}

void TestBatchRun::answerEndsARunOfRefusals()
{
    yz::HostGate gate(1, 0);
    gate.setGiveUpAfter(3);
    const QString host = QStringLiteral("h.example");
    gate.noteRefused(host);
    gate.noteRefused(host);
    gate.noteAnswered(host); // it answered again: the count starts over
    gate.noteRefused(host);
    gate.noteRefused(host);
    QVERIFY(!gate.givenUp(host));
    gate.noteRefused(host);
    QVERIFY(gate.givenUp(host));
    // A request for a host given up is skipped, never started.
    QObject owner;
    bool started = false;
    bool skipped = false;
    gate.enqueue(
            host, &owner, [&started] { started = true; }, [&skipped] { skipped = true; });
    QTRY_VERIFY(skipped);
    QVERIFY(!started);
    yz::HostGate never(1, 0);
    never.setGiveUpAfter(0);
    for (int i = 0; i < 50; ++i)
        never.noteRefused(host);
    QVERIFY(!never.givenUp(host));
}

void TestBatchRun::hostSummary()
{
    QList<yz::HostGate::HostSummary> hosts{{QStringLiteral("www.baidu.com"), 40, 0, 0, 0, false}};
    QCOMPARE(yz::cli::Progress::hostSummary(hosts), QString()); // nothing went wrong: nothing said
    hosts.append({QStringLiteral("www.google.com.hk\x1b[2J"), 3, 3, 0, 4000, true});
    const QString text = yz::cli::Progress::hostSummary(hosts);
    QVERIFY2(text.startsWith(QStringLiteral("各主机：\n  www.baidu.com  请求 40，拒绝 0，失败 0\n")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("请求 3，拒绝 3，失败 0，已放弃\n")), qPrintable(text));
    QVERIFY(!text.contains(u'\x1b'));
    yz::cli::BatchState s;
    s.total = 2;
    s.refusing = {{QStringLiteral("www.sogou.com"), 5, 5, 0, 8000, false}};
    QVERIFY2(yz::cli::Progress::line(s).contains(QStringLiteral("www.sogou.com 拒绝中，8.0 秒一次")),
             qPrintable(yz::cli::Progress::line(s)));
}

// While one host is held at the gate by its refusals, the other hosts' work
// goes on, for later domains too: Baidu has every domain's counts long
// before Google, one request at a time and slowed down, has answered a few.
void TestBatchRun::refusingHostHoldsNoOtherHostUp()
{
    yztest::FakeServices services;
    serveNumberedCounts(services, 0);
    services[Service::Google].setResponse(yztest::ok(yztest::gbk(QStringLiteral("<html>发送自动查询</html>"))));
    BatchRun batch(services.hosts(), recentOnly(), numberedDomains(12), QString(), {2, 1, 0});
    batch.gate().setRefusalBounds(300, 300);
    int googleWhenBaiduWasDone = -1;
    Finished f;
    QSignalSpy finished(&batch, &BatchRun::finished);
    batch.start([&f](const DomainResult &r) { f.results << r; });
    QTRY_VERIFY_WITH_TIMEOUT(services[Service::Baidu].requests().size() == 36, 30000);
    googleWhenBaiduWasDone = int(services[Service::Google].requests().size());
    QVERIFY2(googleWhenBaiduWasDone <= 8, qPrintable(QString::number(googleWhenBaiduWasDone)));
    QVERIFY(finished.wait(60000));
    QCOMPARE(f.results.size(), 12);
    for (int i = 0; i < 12; ++i) // in input order, each with its own values
        QCOMPARE(f.results[i].grids[size_t(Grid::Tb3)][1][1], QString::number(1000 + i));
}

QTEST_GUILESS_MAIN(TestBatchRun)
#include "tst_batchrun.moc"
