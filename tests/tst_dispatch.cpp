// A press of the query button through the engine: which requests leave, in
// which order, to which service, and the waiting values.
#include "net/TransportStatus.h"
#include "query/QueryEngine.h"
#include "tests/support/EngineRig.h"

#include <QSignalSpy>
#include <QTest>

using yz::Grid;
using yz::Service;

namespace {

struct Expected {
    Service service;
    const char *target;
};

// The grid groups' requests in the order they must start, for the domain
// DOMAIN (replaced by the domain text under test).
const Expected kCommon[] = {
        {Service::Baidu, "/s?wd=site:DOMAIN"},         {Service::Baidu, "/s?wd=domain:DOMAIN"},
        {Service::Google, "/search?q=site:DOMAIN"},    {Service::Google, "/search?q=link:DOMAIN"},
        {Service::Yahoo, "/search?p=DOMAIN"},          {Service::Yahoo, "/search?p=DOMAIN&bwm=i"},
        {Service::Sogou, "/web?query=site:DOMAIN"},    {Service::Sogou, "/web?query=%22DOMAIN%22"},
        {Service::Youdao, "/search?q=site:DOMAIN"},    {Service::Youdao, "/search?q=link:DOMAIN"},
        {Service::Soso, "/q?pid=s.idx&w=site:DOMAIN"},
};
const Expected kRank[] = {
        {Service::Vendor, "/api/PRURL.php?dm=DOMAIN"},
        {Service::Alexa, "/siteinfo/DOMAIN"},
        {Service::Sogou, "/web?query=http://DOMAIN"},
        {Service::Baidu, "/s?wd=DOMAIN"},
};
const Expected kRecent[] = {
        {Service::Baidu, "/s?q1=&q2=&q3=&q4=&rn=10&lm=1&ct=0&ft=&q5=&q6=DOMAIN&tn=baiduadv"},
        {Service::Baidu, "/s?q1=&q2=&q3=&q4=&rn=10&lm=7&ct=0&ft=&q5=&q6=DOMAIN&tn=baiduadv"},
        {Service::Baidu, "/s?q1=&q2=&q3=&q4=&rn=10&lm=30&ct=0&ft=&q5=&q6=DOMAIN&tn=baiduadv"},
        {Service::Google, "/search?hl=zh-CN&tbo=1&newwindow=1&q=site%3ADOMAIN&tbs=qdr:d"},
        {Service::Google, "/search?hl=zh-CN&tbo=1&newwindow=1&q=site%3ADOMAIN&tbs=qdr:w"},
        {Service::Google, "/search?hl=zh-CN&tbo=1&newwindow=1&q=site%3ADOMAIN&tbs=qdr:y"},
};

QStringList expectedUrls(const yz::ServiceHosts &hosts, const QString &domain, std::span<const Expected> rows)
{
    QStringList urls;
    for (const Expected &e : rows)
        urls << hosts.base(e.service) + QString::fromLatin1(e.target).replace(QStringLiteral("DOMAIN"), domain);
    return urls;
}

// The engine with recording handlers in place of the result handlers.
struct Press : yztest::EngineRig {
    QStringList started;
    QList<std::pair<QString, QString>> delivered; // handler, html

    Press()
    {
        QObject::connect(&engine.fetcher(), &yz::PageFetcher::requestStarted,
                         [this](const QString &url) { started << url; });
        for (const yz::QueryRow &row : yz::gridQueryRows()) {
            const QString name = QString::fromUtf16(row.handler);
            engine.handlers().add(name, [this, name](qint16, const QString &html) { delivered.append({name, html}); });
        }
    }
    void run(bool common, bool rank, bool recent) { startGroups(common, rank, recent); }
};

} // namespace

class TestDispatch : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void allGridGroupsSendTheTableInOrder_data();
    void allGridGroupsSendTheTableInOrder();
    void waitingValues();
    void untickedGroupsKeepTheirCells();
    void secondPressStartsASecondSet();
    void answersReachTheRowsHandlers();
    void rowThatCannotStartReportsAFailure();
};

void TestDispatch::allGridGroupsSendTheTableInOrder_data()
{
    QTest::addColumn<QString>("domain");
    QTest::newRow("plain") << QStringLiteral("example.com");
    QTest::newRow("subdomain and www stay") << QStringLiteral("www.bbs.example.com.cn");
    QTest::newRow("empty") << QString();
}

void TestDispatch::allGridGroupsSendTheTableInOrder()
{
    QFETCH(QString, domain);
    Press p;
    p.domain = domain;
    p.run(true, true, true);

    QStringList expected = expectedUrls(p.services.hosts(), domain, kCommon);
    expected += expectedUrls(p.services.hosts(), domain, kRank);
    expected += expectedUrls(p.services.hosts(), domain, kRecent);
    QCOMPARE(p.started, expected);
    QCOMPARE(p.engine.fetcher().inFlight(), 21);

    QVERIFY(p.waitIdle());
    QCOMPARE(p.services.requestCount(), 21);
    // What each service received, exactly as sent on the wire.
    for (int s = 0; s < yz::kServiceCount; ++s) {
        QList<QByteArray> want;
        for (const QString &url : expected)
            if (url.startsWith(p.services.hosts().base(Service(s)) + u'/'))
                want << url.mid(p.services.hosts().base(Service(s)).size()).toLatin1();
        QList<QByteArray> got = p.services[Service(s)].targets();
        std::sort(want.begin(), want.end());
        std::sort(got.begin(), got.end());
        QCOMPARE(got, want);
        for (const yztest::RecordedRequest &req : p.services[Service(s)].requests()) {
            QCOMPARE(req.method, QByteArray("GET"));
            QCOMPARE(req.header("If-Modified-Since"), QByteArray("0"));
            QVERIFY(req.header("Content-Type").isEmpty());
            QVERIFY(req.body.isEmpty());
        }
    }
}

void TestDispatch::waitingValues()
{
    Press p;
    p.run(true, true, true);
    for (int col = 1; col <= 6; ++col)
        QCOMPARE(p.cell(Grid::Tb1, 1, col), QStringLiteral("loading"));
    for (int col = 1; col <= 5; ++col)
        QCOMPARE(p.cell(Grid::Tb1, 2, col), QStringLiteral("loading"));
    QCOMPARE(p.cell(Grid::Tb1, 2, 6), QStringLiteral("NaN"));
    for (int col = 1; col <= 4; ++col)
        QCOMPARE(p.cell(Grid::Tb2, 1, col), QStringLiteral("loading"));
    for (int row = 1; row <= 2; ++row)
        for (int col = 1; col <= 3; ++col)
            QCOMPARE(p.cell(Grid::Tb3, row, col), QStringLiteral("loading"));
    // Headings are untouched.
    QCOMPARE(p.cell(Grid::Tb1, 0, 6), QStringLiteral("Soso"));
    QCOMPARE(p.cell(Grid::Tb3, 2, 0), QStringLiteral("Google"));
}

void TestDispatch::untickedGroupsKeepTheirCells()
{
    Press p;
    p.engine.sheet().setValue(Grid::Tb1, 1, 1, QStringLiteral("1230"));
    p.engine.sheet().setValue(Grid::Tb3, 3, 2, QStringLiteral("77"));
    p.run(false, true, false);
    QCOMPARE(p.started.size(), 4);
    QCOMPARE(p.cell(Grid::Tb1, 1, 1), QStringLiteral("1230"));
    QCOMPARE(p.cell(Grid::Tb3, 2, 3), QStringLiteral("77"));
    QCOMPARE(p.cell(Grid::Tb2, 1, 2), QStringLiteral("loading"));

    p.started.clear();
    p.run(false, false, false);
    QVERIFY(p.started.isEmpty());
}

void TestDispatch::secondPressStartsASecondSet()
{
    Press p;
    p.services.setResponseForAll([] {
        yztest::FakeResponse r;
        r.delayMs = 200;
        return r;
    }());
    p.run(false, false, true);
    p.domain = QStringLiteral("second.com");
    p.run(false, false, true);
    QCOMPARE(p.engine.fetcher().inFlight(), 12);
    QVERIFY(p.waitIdle());
    QCOMPARE(p.delivered.size(), 12);
    QCOMPARE(p.services[Service::Baidu].requests().size(), 6);
    QCOMPARE(p.services[Service::Google].requests().size(), 6);
}

void TestDispatch::answersReachTheRowsHandlers()
{
    Press p;
    p.services.setResponseForAll([] {
        yztest::FakeResponse r;
        r.body = "page";
        return r;
    }());
    p.services[Service::Alexa].setResponse([] {
        yztest::FakeResponse r;
        r.status = 500;
        return r;
    }());
    p.run(false, true, false);
    QVERIFY(p.waitIdle());
    QCOMPARE(p.delivered.size(), 4);
    QStringList handlers;
    for (const auto &[name, html] : p.delivered) {
        handlers << name;
        QCOMPARE(html, name == u"ale" ? QStringLiteral("500") : QStringLiteral("page"));
    }
    handlers.sort();
    QCOMPARE(handlers,
             (QStringList{QStringLiteral("ale"), QStringLiteral("bdkz"), QStringLiteral("prurl"),
                          QStringLiteral("sgr")}));
}

void TestDispatch::rowThatCannotStartReportsAFailure()
{
    Press p;
    p.engine.hosts().setBase(Service::Alexa, QStringLiteral("http://")); // no host
    p.run(false, true, false);
    QCOMPARE(p.started.size(), 3); // the other rows of the group still leave
    QVERIFY(p.waitIdle());
    QCOMPARE(p.delivered.size(), 4);
    bool sawAlexa = false;
    for (const auto &[name, html] : p.delivered)
        if (name == u"ale") {
            sawAlexa = true;
            QCOMPARE(html, QString::number(yz::transport::kNotStarted));
        }
    QVERIFY(sawAlexa);
}

QTEST_GUILESS_MAIN(TestDispatch)
#include "tst_dispatch.moc"
