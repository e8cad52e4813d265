// The rules file: every way a file is refused (naming the entry, changing
// nothing), the built-in rules written out and read back unchanged, and
// replaced rules reading pages as written.
#include "parsers/RankParsers.h"
#include "parsers/ResultHandlers.h"
#include "parsers/RulesFile.h"
#include "query/QueryTable.h"
#include "services/ServiceHosts.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using yz::CountRules;
using yz::Engine;
using yz::ScrapeRules;

class TestRules : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void refusedNamingTheEntry_data();
    void refusedNamingTheEntry();
    void builtInRulesRoundTrip();
    void replacedRulesReadPages();
    void templatesFilledInOnePass();
};

void TestRules::refusedNamingTheEntry_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("reason");
    auto row = [](const char *name, const char *json, const char *entry, const QString &reason) {
        QTest::newRow(name) << QByteArray(json) << QString::fromUtf8(entry) << reason;
    };
    row("not json", "{\"baidu\": ", "", QStringLiteral("不是有效的 JSON"));
    row("not an object", "[]", "", QStringLiteral("应是一个 JSON 对象"));
    row("unknown engine", "{\"bing\": {}}", "bing", QStringLiteral("未知的服务"));
    row("engine not an object", "{\"baidu\": 3}", "baidu", QStringLiteral("应是对象"));
    row("unknown field", "{\"baidu\": {\"counts\": {}}}", "baidu.counts", QStringLiteral("未知的项"));
    row("count for a service without counts", "{\"alexa\": {\"count\": {\"pattern\": \"(x)\"}}}", "alexa.count",
        QStringLiteral("未知的项"));
    row("rank pattern does not compile", "{\"alexa\": {\"rank\": {\"pattern\": \"(\"}}}", "alexa.rank.pattern",
        QStringLiteral("正则表达式无法编译"));
    row("rank group missing", "{\"vendor\": {\"rank\": {\"group\": 2}}}", "vendor.rank.group", QString());
    row("rank for a service without one", "{\"baidu\": {\"rank\": {}}}", "baidu.rank", QStringLiteral("未知的项"));
    row("group the kept pattern lacks", "{\"baidu\": {\"count\": {\"group\": 5}}}", "baidu.count.group", QString());
    row("pattern does not compile", "{\"baidu\": {\"count\": {\"pattern\": \"约([0-9]+篇\"}}}", "baidu.count.pattern",
        QStringLiteral("正则表达式无法编译"));
    row("no such group", "{\"google\": {\"count\": {\"pattern\": \"(a)(b)\", \"group\": 3}}}", "google.count.group",
        QStringLiteral("没有第 3 个捕获组"));
    row("group not whole", "{\"google\": {\"count\": {\"pattern\": \"(a)\", \"group\": 1.5}}}", "google.count.group",
        QStringLiteral("应是整数"));
    row("empty marker empty", "{\"yahoo\": {\"empty\": \"\"}}", "yahoo.empty", QStringLiteral("不能为空"));
    row("refusal not a list", "{\"sogou\": {\"refusal\": \"频\"}}", "sogou.refusal", QStringLiteral("应是字符串数组"));
    row("refusal marker not text", "{\"sogou\": {\"refusal\": [\"a\", 2]}}", "sogou.refusal[1]",
        QStringLiteral("应是字符串"));
    row("refusal marker empty", "{\"sogou\": {\"refusal\": [\"\"]}}", "sogou.refusal", QStringLiteral("不能为空"));
    row("another service's row", "{\"baidu\": {\"addresses\": {\"gg1\": \"{base}/{domain}\"}}}", "baidu.addresses.gg1",
        QStringLiteral("不是这个服务的查询"));
    row("unknown row", "{\"baidu\": {\"addresses\": {\"bd9\": \"{base}/{domain}\"}}}", "baidu.addresses.bd9",
        QStringLiteral("不是这个服务的查询"));
    row("template without the domain", "{\"baidu\": {\"addresses\": {\"bd1\": \"{base}/s?wd=site:\"}}}",
        "baidu.addresses.bd1", QStringLiteral("缺少 {domain}"));
    row("template not http", "{\"baidu\": {\"addresses\": {\"bd1\": \"ftp://x/{domain}\"}}}", "baidu.addresses.bd1",
        QStringLiteral("构不成 http(s) 地址"));
    row("template not text", "{\"baidu\": {\"addresses\": {\"bd1\": 1}}}", "baidu.addresses.bd1",
        QStringLiteral("应是字符串"));
}

void TestRules::refusedNamingTheEntry()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, entry);
    QFETCH(QString, reason);
    ScrapeRules rules;
    // A valid change before the mistake is not kept either: the file is
    // taken as a whole.
    QByteArray withGoodEntry = json;
    if (json.startsWith("{\"") && !json.startsWith("{\"yahoo\""))
        withGoodEntry = "{\"yahoo\": {\"empty\": \"none at all\"}, " + json.mid(1);
    QString error;
    QVERIFY(!yz::applyRules(withGoodEntry, rules, &error));
    QVERIFY2(error.startsWith(entry) && error.contains(reason), qPrintable(error));
    QCOMPARE(rules.counts.rule(Engine::Yahoo).emptyMarker, CountRules::builtInRule(Engine::Yahoo).emptyMarker);
    QVERIFY(rules.addresses.isEmpty());
}

void TestRules::builtInRulesRoundTrip()
{
    ScrapeRules rules;
    QString error;
    QVERIFY2(yz::applyRules(yz::builtInRulesJson(), rules, &error), qPrintable(error));
    for (int e = 0; e < yz::kEngineCount; ++e) {
        const yz::CountRule a = rules.counts.rule(Engine(e)), b = CountRules::builtInRule(Engine(e));
        QCOMPARE(a.pattern, b.pattern);
        QCOMPARE(a.group, b.group);
        QCOMPARE(a.removal, b.removal);
        QCOMPARE(a.emptyMarker, b.emptyMarker);
        QCOMPARE(a.refusalMarkers, b.refusalMarkers);
    }
    for (int v = 0; v < yz::kRankValueCount; ++v) {
        const yz::RankRule a = rules.ranks.rule(yz::RankValue(v)), b = yz::RankRules::builtInRule(yz::RankValue(v));
        QCOMPARE(a.pattern, b.pattern);
        QCOMPARE(a.group, b.group);
        QCOMPARE(a.removal, b.removal);
    }
    // Every row's template is written out and builds the table's address.
    yz::ServiceHosts hosts;
    int rows = 0;
    for (const auto table : yz::allQueryRows()) {
        for (const yz::QueryRow &row : table) {
            ++rows;
            const QString name = QString::fromUtf16(row.handler);
            QVERIFY2(rules.addresses.contains(name), qPrintable(name));
            QCOMPARE(yz::fillAddressTemplate(rules.addresses.value(name), hosts.base(row.service),
                                             QStringLiteral("例子.cn")),
                     yz::queryAddress(row, hosts, QStringLiteral("例子.cn")));
        }
    }
    QCOMPARE(rules.addresses.size(), rows);
}

void TestRules::replacedRulesReadPages()
{
    const QString page = QStringLiteral("<p>找到相关网页约1,230,000篇</p>");
    ScrapeRules rules;
    QString error;
    // The same reading written differently goes through the whole-pattern
    // matcher and gives what the built-in one gives, on a hit and a miss.
    const QByteArray same =
            R"j({"baidu": {"count": {"pattern": "找到相关网页(约)?([\\s\\S]+?)(篇)", "group": 2, "remove": ","}}})j";
    QVERIFY(yz::applyRules(same, rules, &error));
    for (const QString &html : {page, QStringLiteral("抱歉，没有找到与"), QStringLiteral("找到相关网页 no end")})
        QCOMPARE(rules.counts.scrape(Engine::Baidu, html), yz::scrapeCount(Engine::Baidu, html));
    // A changed one reads what it says.
    const QByteArray changed = R"j({"baidu": {"count": {"pattern": "网页约([\\d,]+)篇", "group": 1, "remove": ""},
                                             "empty": "NOTHING", "refusal": ["Slow down"]}})j";
    QVERIFY(yz::applyRules(changed, rules, &error));
    QCOMPARE(rules.counts.scrape(Engine::Baidu, page), QStringLiteral("1,230,000"));
    QCOMPARE(rules.counts.scrape(Engine::Baidu, QStringLiteral("<b>nothing</b>")), QStringLiteral("0"));
    QCOMPARE(rules.counts.scrape(Engine::Baidu, QStringLiteral("Slow down")), QStringLiteral("频"));
    QCOMPARE(rules.counts.scrape(Engine::Baidu, QStringLiteral("slow down")), QStringLiteral("X"));
    QCOMPARE(yz::scrapeCount(Engine::Baidu, page), QStringLiteral("1230000")); // the built-in set is untouched

    // A new pattern alone keeps the built-in group and removal, as does
    // everything else left out.
    ScrapeRules patternOnly;
    QVERIFY2(yz::applyRules(R"j({"baidu":{"count":{"pattern":"百度为您找到相关结果(约)?([\\s\\S]+?)个"}}})j",
                            patternOnly, &error),
             qPrintable(error));
    QCOMPARE(patternOnly.counts.scrape(Engine::Baidu, QStringLiteral("百度为您找到相关结果约1,230个")),
             QStringLiteral("1230"));
    QCOMPARE(patternOnly.counts.rule(Engine::Baidu).emptyMarker, CountRules::builtInRule(Engine::Baidu).emptyMarker);

    // A rank rule changes its own value and no other.
    ScrapeRules ranks;
    QVERIFY2(
            yz::applyRules(
                    R"j({"alexa": {"rank": {"pattern": "Rank #([\\d,]+)"}}, "sogou": {"rank": {"pattern": "SR=(\\d+)"}}})j",
                    ranks, &error),
            qPrintable(error));
    QCOMPARE(yz::scrapeAlexaRank(QStringLiteral("Rank #1,234"), ranks.ranks), QStringLiteral("1234")); // "," kept
    QCOMPARE(yz::scrapeAlexaRank(QStringLiteral("<div class=\"a\"><img src=x>5</a>"), ranks.ranks),
             QStringLiteral("0"));
    QCOMPARE(yz::scrapeSogouRank(QStringLiteral("SR=77"), ranks.ranks), QStringLiteral("77"));
    QCOMPARE(yz::scrapeSogouRank(QStringLiteral("您是不是想"), ranks.ranks), QStringLiteral("0"));
    QCOMPARE(yz::scrapePageRank(QStringLiteral("Rank_1:1:6"), ranks.ranks), QStringLiteral("6"));
    // The snapshot date's rule names the domain, which is matched literally.
    ScrapeRules snapshot;
    QVERIFY2(yz::applyRules(R"j({"baidu": {"snapshot": {"pattern": "{domain} 快照 (\\d+-\\d+-\\d+)"}}})j", snapshot,
                            &error),
             qPrintable(error));
    QCOMPARE(yz::scrapeSnapshotDate(QStringLiteral("a.b(c 快照 2026-12-01"), QStringLiteral("a.b(c"), snapshot.ranks),
             QStringLiteral("2026-12-01"));
    QCOMPARE(yz::scrapeSnapshotDate(QStringLiteral("aXb(c 快照 2026-12-01"), QStringLiteral("a.b(c"), snapshot.ranks),
             QStringLiteral("No"));
    QCOMPARE(yz::scrapeSnapshotDate(QStringLiteral("<b>a.b.com/ 15K 2010-3-9</b>"), QStringLiteral("a.b.com")),
             QStringLiteral("2010-3-9")); // the built-in rule is untouched
    QCOMPARE(snapshot.counts.scrape(Engine::Baidu, QStringLiteral("找到相关网页约1,230篇")), QStringLiteral("1230"));
    QCOMPARE(ranks.counts.scrape(Engine::Sogou, QStringLiteral("<!--resultbarnum:5,678-->")),
             yz::scrapeCount(Engine::Sogou, QStringLiteral("<!--resultbarnum:5,678-->")));
}

void TestRules::templatesFilledInOnePass()
{
    QCOMPARE(yz::fillAddressTemplate(u"{base}/q={domain}&d={domain}", QStringLiteral("http://h"),
                                     QStringLiteral("{base}{domain}")),
             QStringLiteral("http://h/q={base}{domain}&d={base}{domain}"));
    QCOMPARE(yz::fillAddressTemplate(u"{bas{domain}e}", QStringLiteral("B"), QStringLiteral("x")),
             QStringLiteral("{basxe}"));
}

QTEST_GUILESS_MAIN(TestRules)
#include "tst_rules.moc"
