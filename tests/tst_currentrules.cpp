// The rules for today's engines: each engine's count rule and block page
// against pages of its shape, the columns it re-points (their headings, the
// addresses asked, the charsets), `rules check` over saved pages, and a run
// of the command line whose CSV and JSON are named by the set's labels.
#include "net/PageAnswer.h"
#include "net/spyHTTP.h"
#include "parsers/ResultHandlers.h"
#include "parsers/RulesFile.h"
#include "query/ClickMap.h"
#include "query/QueryEngine.h"
#include "query/QueryTable.h"
#include "tests/support/CliProcess.h"
#include "tests/support/FakeServices.h"
#include "tests/support/SamplePages.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using yz::CellStatus;
using yz::Service;

namespace {

const QString kSet = QStringLiteral(YZ_RULES_SET);

yz::ScrapeRules currentRules()
{
    yz::ScrapeRules rules;
    QString error;
    if (!yz::applyRulesFile(kSet, rules, &error))
        qFatal("%s", qPrintable(error));
    return rules;
}

// An answer as the engine decodes it under the rules.
yz::PageAnswer answerFor(const QString &handler, const QByteArray &body, const yz::ScrapeRules &rules)
{
    const yz::QueryRow *row = yz::findQueryRow(handler);
    yz::PageAnswer answer = yz::PageAnswer::failed(200);
    answer.outcome = yz::PageAnswer::Outcome::Read;
    answer.body = body;
    answer.text = yz::decodePage(body, yz::rowCharsetLabel(*row, rules.charsets[size_t(row->service)]));
    return answer;
}

} // namespace

class TestCurrentRules : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void enginesPages_data();
    void enginesPages();
    void headingsAddressesAndCharsets();
    void builtInRulesChangeNothing();
    void rulesCheckOverSavedPages();
    void commandLineNamesColumnsByTheLabels();
};

void TestCurrentRules::enginesPages_data()
{
    QTest::addColumn<QString>("handler");
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("cause");
    const auto row = [](const char *name, const char *handler, const QString &page, const char *value,
                        CellStatus::Cause cause) {
        QTest::newRow(name) << QString::fromLatin1(handler) << page.toUtf8() << QString::fromUtf8(value) << int(cause);
    };
    using C = CellStatus::Cause;
    const QString utf8 = QStringLiteral("<html><head><meta charset=\"utf-8\"></head><body>%1</body></html>");
    row("bing count", "yh1",
        utf8.arg(QStringLiteral("<div id=\"b_tween\"><span class=\"sb_count\">约 1,230,000 个结果</span></div>")),
        "1230000", C::Ok);
    row("bing count in English", "yh2",
        utf8.arg(QStringLiteral("<span class=\"sb_count\" data-x=\"1\">About 12,300 results</span>")), "12300", C::Ok);
    row("bing nothing found", "yh1",
        utf8.arg(QStringLiteral("<ol id=\"b_results\"><li class=\"b_no\"><h1>没有找到与 site:x.cn 相关的结果</h1>")),
        "0", C::None);
    row("bing challenge", "yh1",
        utf8.arg(QStringLiteral("<form action=\"/turing/captcha/challenge\">请解决以下难题以继续</form>")), "X",
        C::Refused);
    row("360 count", "ss1", utf8.arg(QStringLiteral("<span class=\"nums\">找到相关结果约2,340个</span>")), "2340",
        C::Ok);
    row("360 nothing found", "ss1", utf8.arg(QStringLiteral("<p>抱歉，未找到和“site:x.cn”相关的网页。</p>")), "0",
        C::None);
    row("360 captcha", "ss1", utf8.arg(QStringLiteral("<script>location='https://qcaptcha.so.com/?ret=1'</script>")),
        "X", C::Refused);
    row("shenma count", "yd1", utf8.arg(QStringLiteral("<div class=\"c-e-count\">找到约 3,450 条结果</div>")), "3450",
        C::Ok);
    row("shenma nothing found", "yd2", utf8.arg(QStringLiteral("<div>抱歉，没有找到相关结果</div>")), "0", C::None);
    row("baidu today", "bd1",
        utf8.arg(QStringLiteral("<span class=\"hint_PIwZX\">百度为您找到相关结果约5,678个</span>")), "5678", C::Ok);
    row("baidu site statement", "bd1",
        utf8.arg(QStringLiteral("<p>该网站共有 <b style=\"color:#333\">1,234</b> 个网页被百度收录</p>")), "1234",
        C::Ok);
    row("baidu verification", "bd2", utf8.arg(QStringLiteral("<title>百度安全验证</title>")), "X", C::Refused);
    row("google count", "gg1", utf8.arg(QStringLiteral("<div id=\"result-stats\">找到约 45,600 条结果")), "45600",
        C::Ok);
    row("google unusual traffic", "gg1",
        utf8.arg(QStringLiteral("<a href=\"https://www.google.com.hk/sorry/index?continue=x\">")), "频", C::Refused);
    row("sogou count", "sg1", utf8.arg(QStringLiteral("<!--resultbarnum:7,890-->")), "7890", C::Ok);
    row("sogou count in words", "sg2",
        utf8.arg(QStringLiteral("<p class=\"num-tips\">搜狗已为您找到约12,345条相关结果")), "12345", C::Ok);
    row("top-sites rank", "ale", QStringLiteral("TopRank:40\n"), "40", C::Ok);
    row("not among the top sites", "ale", QStringLiteral("TopRank:0\n"), "0", C::Ok);
}

void TestCurrentRules::enginesPages()
{
    QFETCH(QString, handler);
    QFETCH(QByteArray, page);
    QFETCH(QString, value);
    QFETCH(int, cause);
    const yz::ScrapeRules rules = currentRules();
    const yz::Scraped scraped =
            yz::scrapeRowAnswer(handler, rules, answerFor(handler, page, rules), QStringLiteral("x.cn"));
    QCOMPARE(scraped.value, value);
    QCOMPARE(int(scraped.cause), cause);
}

void TestCurrentRules::headingsAddressesAndCharsets()
{
    const yz::ScrapeRules rules = currentRules();
    yz::QueryEngine engine;
    QSignalSpy changed(&engine.sheet(), &yz::ResultSheet::cellChanged);
    yz::useRules(engine, rules);
    const yz::ResultSheet &sheet = engine.sheet();
    QCOMPARE(sheet.cell(yz::Grid::Tb1, 0, 3), QStringLiteral("必应"));
    QCOMPARE(sheet.cell(yz::Grid::Tb1, 0, 5), QStringLiteral("神马"));
    QCOMPARE(sheet.cell(yz::Grid::Tb1, 0, 6), QStringLiteral("360搜索"));
    QCOMPARE(sheet.cell(yz::Grid::Tb2, 0, 3), QStringLiteral("站点排名"));
    QCOMPARE(sheet.cell(yz::Grid::Tb1, 0, 1), QStringLiteral("Baidu")); // not re-pointed: kept
    QCOMPARE(changed.size(), 4); // the window's grid hears of each change
    // The dead services are asked no more, and the top-sites rank comes from
    // the vendor's service; a clicked cell opens the page that was asked.
    const QString domain = QStringLiteral("x.cn");
    QCOMPARE(engine.rowAddress(*yz::findQueryRow(u"yh1"), domain),
             QStringLiteral("https://cn.bing.com/search?q=site%3Ax.cn&ensearch=0"));
    QCOMPARE(engine.rowAddress(*yz::findQueryRow(u"ss1"), domain),
             QStringLiteral("https://www.so.com/s?q=site%3Ax.cn"));
    QCOMPARE(engine.rowAddress(*yz::findQueryRow(u"ale"), domain),
             engine.hosts().base(Service::Vendor) + QStringLiteral("/yzrank/?dm=x.cn"));
    QCOMPARE(yz::clickAddress(yz::Grid::Tb1, 1, 6, engine, domain),
             QStringLiteral("https://www.so.com/s?q=site%3Ax.cn"));
    QCOMPARE(engine.rowCharset(*yz::findQueryRow(u"ss1")), QStringLiteral("utf-8")); // GBK in the table
    QCOMPARE(engine.rowCharset(*yz::findQueryRow(u"bd1")), QStringLiteral("utf-8")); // GBK in the table
    // A base the user set (the endpoints file) wins over the rules'; a
    // service moved to the vendor's follows wherever the vendor is.
    engine.hosts().setBase(QStringLiteral("yahoo"), QStringLiteral("http://127.0.0.1:8001"), nullptr);
    engine.hosts().setBase(QStringLiteral("vendor"), QStringLiteral("http://127.0.0.1:8002"), nullptr);
    QCOMPARE(engine.rowAddress(*yz::findQueryRow(u"yh1"), domain),
             QStringLiteral("http://127.0.0.1:8001/search?q=site%3Ax.cn&ensearch=0"));
    QCOMPARE(engine.rowAddress(*yz::findQueryRow(u"ale"), domain),
             QStringLiteral("http://127.0.0.1:8002/yzrank/?dm=x.cn"));
    // Rules without labels bring the built-in headings back.
    yz::useRules(engine, yz::ScrapeRules::builtIn());
    QCOMPARE(sheet.cell(yz::Grid::Tb1, 0, 3), QStringLiteral("Yahoo"));
    QCOMPARE(sheet.cell(yz::Grid::Tb2, 0, 3), QStringLiteral("Alexa"));
}

void TestCurrentRules::builtInRulesChangeNothing()
{
    // The built-in rules, and the built-in rules written out and read back,
    // leave every heading, address and charset exactly as the table has it.
    yz::ScrapeRules printed;
    QString error;
    QVERIFY2(yz::applyRules(yz::builtInRulesJson(), printed, &error), qPrintable(error));
    const yz::ResultSheet plain;
    for (const yz::ScrapeRules *rules : {&yz::ScrapeRules::builtIn(), static_cast<const yz::ScrapeRules *>(&printed)}) {
        yz::QueryEngine engine;
        QSignalSpy changed(&engine.sheet(), &yz::ResultSheet::cellChanged);
        yz::useRules(engine, *rules);
        QCOMPARE(changed.size(), 0);
        for (int g = 0; g < yz::kGridCount; ++g) {
            const yz::GridShape shape = yz::ResultSheet::shape(yz::Grid(g));
            for (int c = 0; c < shape.cols; ++c)
                QCOMPARE(engine.sheet().cell(yz::Grid(g), 0, c), plain.cell(yz::Grid(g), 0, c));
            for (int r = 0; r < shape.rows; ++r)
                QCOMPARE(engine.sheet().cell(yz::Grid(g), r, 0), plain.cell(yz::Grid(g), r, 0));
        }
        for (const auto table : yz::allQueryRows())
            for (const yz::QueryRow &row : table) {
                QCOMPARE(engine.rowAddress(row, QStringLiteral("x.cn")),
                         yz::queryAddress(row, engine.hosts(), QStringLiteral("x.cn")));
                QCOMPARE(engine.rowCharset(row), QString::fromUtf16(row.charset));
            }
    }
}

void TestCurrentRules::rulesCheckOverSavedPages()
{
    // Pages saved as --save-pages saves them, read under the set.
    QTemporaryDir dir;
    QJsonArray index;
    const auto save = [&](const QString &row, const QString &file, const QByteArray &body) {
        QFile f(dir.filePath(file));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(body);
        index.append(QJsonObject{{QStringLiteral("domain"), QStringLiteral("x.cn")},
                                 {QStringLiteral("row"), row},
                                 {QStringLiteral("file"), file},
                                 {QStringLiteral("status"), 200},
                                 {QStringLiteral("address"), QStringLiteral("https://example.invalid/")}});
    };
    save(QStringLiteral("yh1"), QStringLiteral("1.html"),
         QStringLiteral("<meta charset=utf-8><span class=\"sb_count\">约 98,765 个结果</span>").toUtf8());
    save(QStringLiteral("ss1"), QStringLiteral("2.html"),
         QStringLiteral("<span class=\"nums\">找到相关结果约4,321个</span>").toUtf8());
    save(QStringLiteral("yd1"), QStringLiteral("3.html"), QStringLiteral("<title>安全验证</title>").toUtf8());
    QFile indexFile(dir.filePath(QStringLiteral("index.json")));
    QVERIFY(indexFile.open(QIODevice::WriteOnly));
    indexFile.write(QJsonDocument(index).toJson());
    indexFile.close();

    const yztest::CliRun run = yztest::runCli(QStringLiteral(YZ_CLI),
                                              {QStringLiteral("rules"), QStringLiteral("check"), kSet,
                                               QStringLiteral("--pages"), dir.path()});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    const QStringList lines = QString::fromUtf8(run.out).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines[0].startsWith(QStringLiteral("x.cn\tyh1\t98765\t")), qPrintable(lines[0]));
    // 360's page is UTF-8 where Soso's was GBK: read as the set says.
    QVERIFY2(lines[1].startsWith(QStringLiteral("x.cn\tss1\t4321\t")), qPrintable(lines[1]));
    QVERIFY2(lines[2].startsWith(QStringLiteral("x.cn\tyd1\tX\t")) && lines[2].contains(QStringLiteral("refused")),
             qPrintable(lines[2]));
    // The built-in rules do not know these pages.
    const yztest::CliRun builtIn = yztest::runCli(QStringLiteral(YZ_CLI),
                                                  {QStringLiteral("rules"), QStringLiteral("check"),
                                                   QStringLiteral("-"), QStringLiteral("--pages"), dir.path()});
    QVERIFY(!builtIn.out.contains("98765"));
}

void TestCurrentRules::commandLineNamesColumnsByTheLabels()
{
    yztest::FakeServices services;
    const QString utf8 = QStringLiteral("<meta charset=\"utf-8\">%1");
    services[Service::Yahoo].setResponse(
            yztest::ok(utf8.arg(QStringLiteral("<span class=\"sb_count\">约 1,500 个结果</span>")).toUtf8()));
    services[Service::Soso].setResponse(
            yztest::ok(utf8.arg(QStringLiteral("<span class=\"nums\">找到相关结果约2,500个</span>")).toUtf8()));
    services[Service::Youdao].setResponse(yztest::ok(utf8.arg(QStringLiteral("找到约 3,500 条结果")).toUtf8()));
    services[Service::Vendor].setResponse(yztest::ok(QByteArrayLiteral("TopRank:40\n")));
    QTemporaryDir dir;
    // Alexa left to the rules, which move it to the vendor's service.
    QJsonObject endpoints = services.endpoints();
    endpoints.remove(QStringLiteral("alexa"));
    const QString endpointsFile = dir.filePath(QStringLiteral("endpoints.json"));
    QFile file(endpointsFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QJsonDocument(endpoints).toJson());
    file.close();
    const QStringList common = {QStringLiteral("--rules"),     kSet,
                                QStringLiteral("--endpoints"), endpointsFile,
                                QStringLiteral("--common"),    QStringLiteral("--rank"),
                                QStringLiteral("x.cn")};

    const yztest::CliRun json = yztest::runCli(QStringLiteral(YZ_CLI), QStringList{QStringLiteral("--json")} + common);
    QVERIFY2(json.exitCode == 0 || json.exitCode == 1, json.err.constData());
    const QJsonObject o = QJsonDocument::fromJson(json.out).object();
    const QJsonObject indexed = o[QStringLiteral("tb1")][QStringLiteral("收录")].toObject();
    QCOMPARE(indexed[QStringLiteral("必应")].toString(), QStringLiteral("1500"));
    QCOMPARE(indexed[QStringLiteral("360搜索")].toString(), QStringLiteral("2500"));
    QCOMPARE(indexed[QStringLiteral("神马")].toString(), QStringLiteral("3500"));
    QVERIFY(!indexed.contains(QStringLiteral("Yahoo")));
    QCOMPARE(o[QStringLiteral("tb2")][QStringLiteral("站点排名")].toString(), QStringLiteral("40"));
    // The vendor's service was asked for the top-sites rank, nothing asked of Alexa.
    bool askedRank = false;
    for (const auto &request : services[Service::Vendor].requests())
        askedRank = askedRank || request.target.startsWith("/yzrank/?dm=x.cn");
    QVERIFY(askedRank);
    QVERIFY(services[Service::Alexa].requests().isEmpty());

    const yztest::CliRun csv = yztest::runCli(QStringLiteral(YZ_CLI), QStringList{QStringLiteral("--csv")} + common);
    const QString header = QString::fromUtf8(csv.out).section(u'\n', 0, 0);
    QVERIFY2(header.contains(QStringLiteral("必应")) && header.contains(QStringLiteral("站点排名"))
                     && !header.contains(QStringLiteral("Soso")),
             qPrintable(header));
}

QTEST_GUILESS_MAIN(TestCurrentRules)
#include "tst_currentrules.moc"
