// Result pages end to end: bytes in the engine's real encoding from a fake
// service, through the fetch and the handlers, to the cell text; and the
// two-step PageRank chain.
#include "parsers/ResultHandlers.h"
#include "query/QueryEngine.h"
#include "tests/support/EngineRig.h"
#include "tests/support/SamplePages.h"

#include <QSignalSpy>
#include <QTest>

using yz::Grid;
using yz::Service;

namespace {

using yztest::gbk;
using yztest::ok;
using yztest::realisticPage;

// The engine with the result handlers.
struct Rig : yztest::EngineRig {
    Rig() { yz::addResultHandlers(engine); }
    bool press(bool common, bool rank, bool recent)
    {
        startGroups(common, rank, recent);
        return waitIdle();
    }
};

} // namespace

class TestResultHandlers : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyRowHasItsHandler();
    void everyEngineEndToEnd();
    void failedRequestsGiveFailureValues();
    void pageRankChain();
    void pageRankAddressThatCannotBeRequestedLeavesTheCellWaiting();
    void snapshotReadsTheDomainWhenTheAnswerArrives();
    void everyCellSaysWhy();
    void causeOfAValue();
};

// Beside each value, why it is that value; the values themselves as before.
void TestResultHandlers::everyCellSaysWhy()
{
    using Cause = yz::CellStatus::Cause;
    Rig rig;
    yztest::serveSamplePages(rig.services);
    yztest::FakeResponse notFound;
    notFound.status = 404;
    rig.services[Service::Youdao].setResponse(notFound);
    rig.startGroups(true, false, false);
    QCOMPARE(rig.engine.sheet().status(Grid::Tb1, 1, 1).cause, Cause::Waiting);
    QVERIFY(rig.waitIdle());
    const auto status = [&](int row, int col) { return rig.engine.sheet().status(Grid::Tb1, row, col); };
    QCOMPARE(rig.cell(Grid::Tb1, 1, 1), QStringLiteral("1230000"));
    QCOMPARE(status(1, 1).cause, Cause::Ok);
    QVERIFY(status(1, 1).at.isValid());
    QCOMPARE(rig.cell(Grid::Tb1, 2, 1), QStringLiteral("0"));
    QCOMPARE(status(2, 1).cause, Cause::None);
    QCOMPARE(rig.cell(Grid::Tb1, 2, 2), QStringLiteral("频"));
    QCOMPARE(status(2, 2).cause, Cause::Refused);
    QCOMPARE(status(2, 2).description().left(8), QStringLiteral("服务拒绝自动查询"));
    QCOMPARE(rig.cell(Grid::Tb1, 1, 5), QStringLiteral("X")); // Youdao's 404
    QCOMPARE(status(1, 5).cause, Cause::Failed);
    QCOMPARE(status(1, 5).http, 404);
    QVERIFY(status(1, 5).description().startsWith(QStringLiteral("HTTP 404（")));
    QCOMPARE(status(2, 6).cause, Cause::Empty); // Soso's backlinks: a fixed "NaN", nothing asked
}

void TestResultHandlers::causeOfAValue()
{
    using yz::CellStatus;
    using Cause = CellStatus::Cause;
    using yz::PageAnswer;
    using yz::Scraped;
    const PageAnswer page = PageAnswer::page(QStringLiteral("<html>"), QUrl(QStringLiteral("http://e.example/s?wd=1")));
    // A read page's cause is the scraper's, whatever the value's text.
    QCOMPARE(CellStatus::of(page, Scraped::unrecognised(QStringLiteral("X"))).name(), QStringLiteral("unrecognised"));
    QCOMPARE(CellStatus::of(page, Scraped::none(QStringLiteral("No"))).cause, Cause::None);
    QCOMPARE(CellStatus::of(page, Scraped::ok(QStringLiteral("0"))).cause, Cause::Ok);
    QCOMPARE(CellStatus::of(page, Scraped::refused(QStringLiteral("频"))).name(), QStringLiteral("refused"));
    const CellStatus gaveUp = CellStatus::of(page, Scraped::unrecognised(QStringLiteral("X"), QStringLiteral("why")));
    QCOMPARE(gaveUp.reason, QStringLiteral("why"));
    QCOMPARE(gaveUp.summary(), QStringLiteral("unrecognised why"));
    QVERIFY(gaveUp.description().startsWith(QStringLiteral("未识别的页面：why（")));
    // The answer's address and size go with the cause, and the tooltip shows the address.
    const CellStatus read = CellStatus::of(page, Scraped::ok(QStringLiteral("7")));
    QCOMPARE(read.address, QStringLiteral("http://e.example/s?wd=1"));
    QCOMPARE(read.bytes, 6);
    QVERIFY(read.toolTip().endsWith(QStringLiteral("\nhttp://e.example/s?wd=1")));
    QCOMPARE(read.summary(), QStringLiteral("ok"));
    // A failure's cause comes from how the request ended, whatever the scraper said.
    const CellStatus refused = CellStatus::of(PageAnswer::failed(12029),
                                              Scraped::unrecognised(QStringLiteral("X"), QStringLiteral("why")));
    QCOMPARE(refused.cause, Cause::Failed);
    QCOMPARE(refused.http, 0);
    QCOMPARE(refused.transport, 12029);
    QCOMPARE(refused.reason, QString());
    QCOMPARE(refused.summary(), QStringLiteral("failed 12029"));
    QVERIFY(refused.description().startsWith(QStringLiteral("连接被拒绝")));
    QVERIFY(CellStatus::of(PageAnswer::failed(12002), Scraped::none(QStringLiteral("0")))
                    .description()
                    .startsWith(QStringLiteral("超时")));
    QCOMPARE(CellStatus::of(PageAnswer::failed(503), Scraped::ok(QStringLiteral("12"))).http, 503);
    QCOMPARE(CellStatus::of(PageAnswer::failed(503), Scraped::ok(QStringLiteral("12"))).cause, Cause::Failed);
    QCOMPARE(CellStatus::waiting().name(), QStringLiteral("waiting"));
    QCOMPARE(CellStatus().name(), QString());
}

void TestResultHandlers::everyEngineEndToEnd()
{
    Rig rig;
    yztest::serveSamplePages(rig.services);
    QVERIFY(rig.press(true, true, true));
    const QStringList tb1 = {rig.cell(Grid::Tb1, 1, 1), rig.cell(Grid::Tb1, 2, 1), rig.cell(Grid::Tb1, 1, 2),
                             rig.cell(Grid::Tb1, 2, 2), rig.cell(Grid::Tb1, 1, 3), rig.cell(Grid::Tb1, 2, 3),
                             rig.cell(Grid::Tb1, 1, 4), rig.cell(Grid::Tb1, 2, 4), rig.cell(Grid::Tb1, 1, 5),
                             rig.cell(Grid::Tb1, 2, 5), rig.cell(Grid::Tb1, 1, 6), rig.cell(Grid::Tb1, 2, 6)};
    QCOMPARE(tb1,
             (QStringList{"1230000", "0", "12300", "频", "9876", "55", "5678", "频", "25", "12,345", "3456", "NaN"}));
    QCOMPARE(rig.cell(Grid::Tb2, 1, 1), QStringLiteral("2010-3-9"));
    QCOMPARE(rig.cell(Grid::Tb2, 1, 3), QStringLiteral("1234567"));
    QCOMPARE(rig.cell(Grid::Tb2, 1, 4), QStringLiteral("56"));
    const QStringList tb3 = {rig.cell(Grid::Tb3, 1, 1), rig.cell(Grid::Tb3, 1, 2), rig.cell(Grid::Tb3, 1, 3),
                             rig.cell(Grid::Tb3, 2, 1), rig.cell(Grid::Tb3, 2, 2), rig.cell(Grid::Tb3, 2, 3)};
    QCOMPARE(tb3, (QStringList{"12", "345", "6789", "3", "0", "4444"}));
}

void TestResultHandlers::failedRequestsGiveFailureValues()
{
    Rig rig;
    yztest::FakeResponse notFound;
    notFound.status = 404;
    rig.services.setResponseForAll(notFound);
    QVERIFY(rig.press(true, true, true));
    for (int col = 1; col <= 6; ++col)
        QCOMPARE(rig.cell(Grid::Tb1, 1, col), QStringLiteral("X"));
    QCOMPARE(rig.cell(Grid::Tb2, 1, 1), QStringLiteral("No"));
    QCOMPARE(rig.cell(Grid::Tb2, 1, 2), QStringLiteral("X"));
    QCOMPARE(rig.cell(Grid::Tb2, 1, 3), QStringLiteral("0"));
    QCOMPARE(rig.cell(Grid::Tb2, 1, 4), QStringLiteral("X"));
    QCOMPARE(rig.cell(Grid::Tb3, 2, 3), QStringLiteral("X"));
}

void TestResultHandlers::pageRankChain()
{
    Rig rig;
    // The vendor answers with the address of the rank page on another
    // service; a trailing line break stays in the address.
    const QString rankAddress =
            rig.services.hosts().base(Service::Whois) + QStringLiteral("/tbr?q=info:example.com\r\n");
    rig.services[Service::Vendor].setResponse(ok(rankAddress.toUtf8()));
    rig.services[Service::Whois].setResponse(ok("Rank_1:1:10\n"));
    QStringList started;
    connect(&rig.engine.fetcher(), &yz::PageFetcher::requestStarted, [&](const QString &url) { started << url; });
    rig.engine.sheet().setValue(Grid::Tb2, 2, 1, QStringLiteral("stale"));
    QVERIFY(rig.press(false, true, false));
    QCOMPARE(started.size(), 5);
    QCOMPARE(started.last(), rankAddress);
    // On the wire the line break is percent-encoded, as in any address.
    QCOMPARE(rig.services[Service::Whois].targets(), QList<QByteArray>{"/tbr?q=info:example.com%0D%0A"});
    QCOMPARE(rig.cell(Grid::Tb2, 1, 2), QStringLiteral("10"));

    rig.services[Service::Whois].setResponse(ok("no rank"));
    QVERIFY(rig.press(false, true, false));
    QCOMPARE(rig.cell(Grid::Tb2, 1, 2), QStringLiteral("0"));
}

void TestResultHandlers::pageRankAddressThatCannotBeRequestedLeavesTheCellWaiting()
{
    Rig rig;
    rig.services[Service::Vendor].setResponse(ok("not an address"));
    QVERIFY(rig.press(false, true, false));
    QCOMPARE(rig.engine.fetcher().startedCount(), 4);
    QCOMPARE(rig.cell(Grid::Tb2, 1, 2), QStringLiteral("loading"));
}

void TestResultHandlers::snapshotReadsTheDomainWhenTheAnswerArrives()
{
    Rig rig;
    yztest::FakeResponse slow = ok(gbk(realisticPage(QStringLiteral("new.org/ 2K 2010-5-6 example.com/ 1K 2001-1-1"))));
    slow.delayMs = 200;
    rig.services[Service::Baidu].setResponse(slow);
    yz::PressGroups g;
    g.rank = true;
    rig.engine.startGridGroups(g);
    rig.domain = QStringLiteral("new.org"); // typed while the answer is on its way
    QSignalSpy idle(&rig.engine.fetcher(), &yz::PageFetcher::idle);
    QVERIFY(idle.wait(15000));
    QCOMPARE(rig.services[Service::Baidu].targets(), QList<QByteArray>{"/s?wd=example.com"});
    QCOMPARE(rig.cell(Grid::Tb2, 1, 1), QStringLiteral("2010-5-6"));
}

void TestResultHandlers::everyRowHasItsHandler()
{
    Rig rig;
    // Every row's handler is registered under its name, the picture row's
    // excepted (each front end draws or saves the picture its own way), and
    // the PageRank request's second step.
    for (const auto rows : yz::allQueryRows()) {
        for (const yz::QueryRow &row : rows) {
            const QString name = QString::fromUtf16(row.handler);
            QCOMPARE(rig.engine.handlers().contains(name), row.scraper != yz::Scraper::TrendPicture);
            QCOMPARE(yz::findQueryRow(name), &row);
            // Each row's scraper finds a row that it reads.
            QCOMPARE(yz::rowFor(row.scraper).scraper, row.scraper);
        }
    }
    QVERIFY(rig.engine.handlers().contains(QString::fromUtf16(yz::kPageRankHandler)));
    QVERIFY(!yz::findQueryRow(yz::kPageRankHandler));
}

QTEST_GUILESS_MAIN(TestResultHandlers)
#include "tst_resulthandlers.moc"
