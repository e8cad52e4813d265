// Result pages end to end: bytes in the engine's real encoding from a fake
// service, through the fetch and the handlers, to the cell text; and the
// two-step PageRank chain.
#include "parsers/ResultHandlers.h"
#include "query/QueryEngine.h"
#include "tests/support/FakeServices.h"

#include <QSignalSpy>
#include <QStringEncoder>
#include <QTest>

using yz::Grid;
using yz::Service;

namespace {

QByteArray gbk(const QString &text)
{
    // Test pages only use characters GB2312 holds; ICU's encoder suffices here.
    QStringEncoder encoder("GB18030");
    return encoder.encode(text);
}

// A few tens of kilobytes of markup with decoy numbers around the marker.
QString realisticPage(const QString &marker)
{
    QString rows;
    for (int i = 0; i < 150; ++i)
        rows += QStringLiteral("<tr><td class=\"f\"><a href=\"http://site%1.com/\">站点 %1 共 %1,000 字</a>"
                               "<br><span>site%1.com/ %1K 2009-%2-1</span></td></tr>\n")
                        .arg(i)
                        .arg(i % 12 + 1);
    return QStringLiteral("<!DOCTYPE html><html><head><title>结果</title></head><body><table>\n") + rows
            + QStringLiteral("<div id=\"stat\">") + marker + QStringLiteral("</div>\n") + rows
            + QStringLiteral("</table></body></html>\n");
}

yztest::FakeResponse ok(const QByteArray &body)
{
    yztest::FakeResponse r;
    r.body = body;
    return r;
}

struct Rig {
    yztest::FakeServices services;
    yz::QueryEngine engine;
    QString domain = QStringLiteral("example.com");

    Rig()
    {
        engine.hosts() = services.hosts();
        engine.setDomainSource([this] { return domain; });
        yz::addResultHandlers(engine);
    }
    bool press(bool common, bool rank, bool recent)
    {
        yz::PressGroups g;
        g.common = common;
        g.rank = rank;
        g.recent = recent;
        engine.startGridGroups(g);
        QSignalSpy idle(&engine.fetcher(), &yz::PageFetcher::idle);
        return engine.fetcher().inFlight() == 0 || idle.wait(15000);
    }
    QString cell(Grid g, int row, int col) { return engine.sheet().cell(g, row, col); }
};

} // namespace

class TestResultHandlers : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyEngineEndToEnd();
    void failedRequestsGiveFailureValues();
    void pageRankChain();
    void pageRankAddressThatCannotBeRequestedLeavesTheCellWaiting();
    void snapshotReadsTheDomainWhenTheAnswerArrives();
};

void TestResultHandlers::everyEngineEndToEnd()
{
    Rig rig;
    rig.services[Service::Baidu].setScript([](const yztest::RecordedRequest &req) {
        if (req.target.startsWith("/s?wd=site:"))
            return ok(gbk(realisticPage(QStringLiteral("找到相关网页约1,230,000篇"))));
        if (req.target.startsWith("/s?wd=domain:"))
            return ok(gbk(realisticPage(QStringLiteral("抱歉，没有找到与相关的网页"))));
        if (req.target.contains("lm=1&"))
            return ok(gbk(realisticPage(QStringLiteral("找到相关网页12篇"))));
        if (req.target.contains("lm=7&"))
            return ok(gbk(realisticPage(QStringLiteral("找到相关网页约345篇"))));
        if (req.target.contains("lm=30&"))
            return ok(gbk(realisticPage(QStringLiteral("找到相关网页约6,789篇"))));
        return ok(gbk(realisticPage(QStringLiteral("<b>example.com/ 15K 2010-3-9</b>"))));
    });
    rig.services[Service::Google].setScript([](const yztest::RecordedRequest &req) {
        const QByteArray utf8Meta = "<meta http-equiv=\"content-type\" content=\"text/html; charset=UTF-8\">";
        if (req.target.startsWith("/search?q=site:"))
            return ok(utf8Meta + realisticPage(QStringLiteral("约 <b>12,300</b> 条")).toUtf8());
        if (req.target.startsWith("/search?q=link:"))
            return ok(gbk(realisticPage(QStringLiteral("您的计算机网络正在发送自动查询"))));
        if (req.target.endsWith("qdr:d"))
            return ok(gbk(realisticPage(QStringLiteral("有 <b>3</b> 个"))));
        if (req.target.endsWith("qdr:w"))
            return ok(utf8Meta + realisticPage(QStringLiteral("找不到和您的查询")).toUtf8());
        return ok(utf8Meta + realisticPage(QStringLiteral("约 <b>4,444</b> 条")).toUtf8());
    });
    rig.services[Service::Yahoo].setScript([](const yztest::RecordedRequest &req) {
        return ok(realisticPage(req.target.endsWith("bwm=i") ? QStringLiteral("共 <strong>55</strong>")
                                                             : QStringLiteral("共 <strong>9,876</strong>"))
                          .toUtf8());
    });
    rig.services[Service::Sogou].setScript([](const yztest::RecordedRequest &req) {
        if (req.target.startsWith("/web?query=site:"))
            return ok(gbk(realisticPage(QStringLiteral("<!--resultbarnum:5,678-->"))));
        if (req.target.startsWith("/web?query=%22"))
            return ok(gbk(realisticPage(QStringLiteral("搜狗为防止被某些程序恶意搜索抓取页面"))));
        return ok(gbk(realisticPage(QStringLiteral("SogouRank:56/100"))));
    });
    rig.services[Service::Youdao].setScript([](const yztest::RecordedRequest &req) {
        return ok(QStringLiteral("<p>共约%1条</p>")
                          .arg(req.target.contains("site:") ? QStringLiteral("25万") : QStringLiteral("12,345"))
                          .toUtf8());
    });
    rig.services[Service::Soso].setResponse(ok(gbk(realisticPage(QStringLiteral("搜索到约3,456项结果")))));
    rig.services[Service::Alexa].setResponse(
            ok(realisticPage(QStringLiteral("<div class=\"data up\"><img src=\"/up.gif\">1,234,567</a>")).toUtf8()));
    rig.services[Service::Vendor].setResponse(ok(QByteArray()));

    QVERIFY(rig.press(true, true, true));
    const QStringList tb1 = {rig.cell(Grid::Tb1, 1, 1), rig.cell(Grid::Tb1, 2, 1), rig.cell(Grid::Tb1, 1, 2),
                             rig.cell(Grid::Tb1, 2, 2), rig.cell(Grid::Tb1, 1, 3), rig.cell(Grid::Tb1, 2, 3),
                             rig.cell(Grid::Tb1, 1, 4), rig.cell(Grid::Tb1, 2, 4), rig.cell(Grid::Tb1, 1, 5),
                             rig.cell(Grid::Tb1, 2, 5), rig.cell(Grid::Tb1, 1, 6), rig.cell(Grid::Tb1, 2, 6)};
    QCOMPARE(tb1, (QStringList{"1230000", "0", "12300", "频", "9876", "55", "5678", "频", "25", "12,345", "3456",
                               "NaN"}));
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
    const QString rankAddress = rig.services.hosts().base(Service::Whois) + QStringLiteral("/tbr?q=info:example.com\r\n");
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

QTEST_GUILESS_MAIN(TestResultHandlers)
#include "tst_resulthandlers.moc"
