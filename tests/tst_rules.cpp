// The rules file: every way a file is refused (naming the entry, changing
// nothing), the built-in rules written out and read back unchanged, and
// replaced rules reading pages as written.
#include "parsers/DomainAgeParsers.h"
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
    void dateAndStatisticsRules();
    void patternThatGivesUp();
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
    row("date order unknown", "{\"whois\": {\"registered\": {\"order\": \"ydm\"}}}", "whois.registered.order",
        QStringLiteral("ymd"));
    row("date with two groups", "{\"archive\": {\"firstDate\": {\"pattern\": \"(a)(b)\"}}}",
        "archive.firstDate.pattern", QStringLiteral("三个捕获组"));
    row("date for a service without one", "{\"whois\": {\"firstDate\": {}}}", "whois.firstDate",
        QStringLiteral("未知的项"));
    row("statistics pick not a pair", "{\"cnzz\": {\"numbers\": {\"todayIp\": [3]}}}", "cnzz.numbers.todayIp",
        QStringLiteral("[第几次匹配, 捕获组]"));
    row("statistics pick of a missing group", "{\"51la\": {\"numbers\": {\"todayPv\": [2, 3]}}}", "51la",
        QStringLiteral("没有第 3 个捕获组"));
    row("statistics pick of no match", "{\"cnzz\": {\"numbers\": {\"todayPv\": [0, 1]}}}", "cnzz",
        QStringLiteral("匹配不存在"));
    row("wrong-password text empty", "{\"cnzz\": {\"wrongPassword\": \"\"}}", "cnzz", QStringLiteral("不能为空"));
    row("label with a slash", "{\"soso\": {\"label\": \"360/搜索\"}}", "soso.label", QStringLiteral("不含 /"));
    row("label too long", "{\"soso\": {\"label\": \"一二三四五六七八九十一二三四五六七\"}}", "soso.label",
        QStringLiteral("1 到 16 个"));
    row("label blank", "{\"soso\": {\"label\": \"  \"}}", "soso.label", QStringLiteral("1 到 16 个"));
    row("label for a service without a heading", "{\"whois\": {\"label\": \"x\"}}", "whois.label",
        QStringLiteral("未知的项"));
    row("label another column has", "{\"soso\": {\"label\": \"Baidu\"}}", "label",
        QStringLiteral("tb1 的两个标题相同"));
    row("base not http", "{\"yahoo\": {\"base\": \"ftp://cn.bing.com\"}}", "yahoo.base",
        QStringLiteral("http(s)://主机"));
    row("base with a path", "{\"yahoo\": {\"base\": \"https://cn.bing.com/search\"}}", "yahoo.base",
        QStringLiteral("http(s)://主机"));
    row("base naming itself", "{\"alexa\": {\"base\": \"alexa\"}}", "alexa.base", QStringLiteral("另一个服务"));
    row("charset unknown", "{\"soso\": {\"charset\": \"big5\"}}", "soso.charset", QStringLiteral("utf-8"));
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
    for (int v = 0; v < yz::kDateValueCount; ++v) {
        const yz::DateRule a = rules.dates.rule(yz::DateValue(v)), b = yz::DateRules::builtInRule(yz::DateValue(v));
        QCOMPARE(a.pattern, b.pattern);
        QCOMPARE(a.order, b.order);
    }
    for (const auto provider : {yz::StatisticsProvider::Cnzz, yz::StatisticsProvider::La51}) {
        const yz::StatisticsRule a = rules.statistics.rule(provider);
        const yz::StatisticsRule b = yz::StatisticsRules::builtInRule(provider);
        QCOMPARE(a.pattern, b.pattern);
        QCOMPARE(a.wrongPassword, b.wrongPassword);
        QCOMPARE(a.yesterdayPv.match, b.yesterdayPv.match);
        QCOMPARE(a.todayPv.group, b.todayPv.group);
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
        QCOMPARE(rules.counts.scrape(Engine::Baidu, html).value, yz::scrapeCount(Engine::Baidu, html).value);
    // A changed one reads what it says.
    const QByteArray changed = R"j({"baidu": {"count": {"pattern": "网页约([\\d,]+)篇", "group": 1, "remove": ""},
                                             "empty": "NOTHING", "refusal": ["Slow down"]}})j";
    QVERIFY(yz::applyRules(changed, rules, &error));
    QCOMPARE(rules.counts.scrape(Engine::Baidu, page).value, QStringLiteral("1,230,000"));
    QCOMPARE(rules.counts.scrape(Engine::Baidu, QStringLiteral("<b>nothing</b>")).value, QStringLiteral("0"));
    // Baidu's refusal reads X, as its window has always shown a page it does not know, the cause refused.
    QCOMPARE(rules.counts.scrape(Engine::Baidu, QStringLiteral("Slow down")).value, QStringLiteral("X"));
    QCOMPARE(rules.counts.scrape(Engine::Baidu, QStringLiteral("Slow down")).cause, yz::CellStatus::Cause::Refused);
    QCOMPARE(rules.counts.scrape(Engine::Google, QStringLiteral("发送自动查询")).value, QStringLiteral("频"));
    QCOMPARE(rules.counts.scrape(Engine::Baidu, QStringLiteral("slow down")).value, QStringLiteral("X"));
    QCOMPARE(yz::scrapeCount(Engine::Baidu, page).value, QStringLiteral("1230000")); // the built-in set is untouched

    // A new pattern alone keeps the built-in group and removal, as does
    // everything else left out.
    ScrapeRules patternOnly;
    QVERIFY2(yz::applyRules(R"j({"baidu":{"count":{"pattern":"百度为您找到相关结果(约)?([\\s\\S]+?)个"}}})j",
                            patternOnly, &error),
             qPrintable(error));
    QCOMPARE(patternOnly.counts.scrape(Engine::Baidu, QStringLiteral("百度为您找到相关结果约1,230个")).value,
             QStringLiteral("1230"));
    QCOMPARE(patternOnly.counts.rule(Engine::Baidu).emptyMarker, CountRules::builtInRule(Engine::Baidu).emptyMarker);

    // A rank rule changes its own value and no other.
    ScrapeRules ranks;
    QVERIFY2(
            yz::applyRules(
                    R"j({"alexa": {"rank": {"pattern": "Rank #([\\d,]+)"}}, "sogou": {"rank": {"pattern": "SR=(\\d+)"}}})j",
                    ranks, &error),
            qPrintable(error));
    QCOMPARE(yz::scrapeAlexaRank(QStringLiteral("Rank #1,234"), ranks.ranks).value, QStringLiteral("1234")); // "," kept
    QCOMPARE(yz::scrapeAlexaRank(QStringLiteral("<div class=\"a\"><img src=x>5</a>"), ranks.ranks).value,
             QStringLiteral("0"));
    QCOMPARE(yz::scrapeSogouRank(QStringLiteral("SR=77"), ranks.ranks).value, QStringLiteral("77"));
    QCOMPARE(yz::scrapeSogouRank(QStringLiteral("您是不是想"), ranks.ranks).value, QStringLiteral("0"));
    QCOMPARE(yz::scrapePageRank(QStringLiteral("Rank_1:1:6"), ranks.ranks).value, QStringLiteral("6"));
    // The snapshot date's rule names the domain, which is matched literally.
    ScrapeRules snapshot;
    QVERIFY2(yz::applyRules(R"j({"baidu": {"snapshot": {"pattern": "{domain} 快照 (\\d+-\\d+-\\d+)"}}})j", snapshot,
                            &error),
             qPrintable(error));
    QCOMPARE(yz::scrapeSnapshotDate(QStringLiteral("a.b(c 快照 2026-12-01"), QStringLiteral("a.b(c"), snapshot.ranks)
                     .value,
             QStringLiteral("2026-12-01"));
    QCOMPARE(yz::scrapeSnapshotDate(QStringLiteral("aXb(c 快照 2026-12-01"), QStringLiteral("a.b(c"), snapshot.ranks)
                     .value,
             QStringLiteral("No"));
    QCOMPARE(yz::scrapeSnapshotDate(QStringLiteral("<b>a.b.com/ 15K 2010-3-9</b>"), QStringLiteral("a.b.com")).value,
             QStringLiteral("2010-3-9")); // the built-in rule is untouched
    QCOMPARE(snapshot.counts.scrape(Engine::Baidu, QStringLiteral("找到相关网页约1,230篇")).value,
             QStringLiteral("1230"));
    QCOMPARE(ranks.counts.scrape(Engine::Sogou, QStringLiteral("<!--resultbarnum:5,678-->")).value,
             yz::scrapeCount(Engine::Sogou, QStringLiteral("<!--resultbarnum:5,678-->")).value);
}

// The whois, archive and statistics rules replaced field by field.
void TestRules::dateAndStatisticsRules()
{
    const QString whois = QStringLiteral("注册时间：2010年3月9日\nExpiration Date: 09-mar-2020\n");
    QCOMPARE(yz::scrapeWhoisDates(whois).value, QStringLiteral("Unknown至2020-03-09"));
    QCOMPARE(yz::scrapeWhoisDates(whois).cause, yz::CellStatus::Cause::Unrecognised);
    QCOMPARE(yz::scrapeWhoisDates(whois).reason, QStringLiteral("没有找到注册日期"));
    ScrapeRules rules;
    QString error;
    QVERIFY2(yz::applyRules(R"j({"whois": {"registered": {"pattern": "注册时间：(\\d+)年(\\d+)月(\\d+)日",
                                                         "order": "ymd"}},
                                "archive": {"firstDate": {"pattern": "(\\d\\d)/(\\d\\d)/(\\d{4})"}},
                                "cnzz": {"numbers": {"pattern": "<i>(\\d+)</i>"}},
                                "51la": {"wrongPassword": "密码不对"}})j",
                            rules, &error),
             qPrintable(error));
    const yz::Scraped read = yz::scrapeWhoisDates(whois, rules.dates);
    QCOMPARE(read.value, QStringLiteral("2010-3-9至2020-03-09")); // the expiry keeps its built-in rule
    QCOMPARE(read.cause, yz::CellStatus::Cause::Ok);
    // A pattern alone keeps the built-in order: the first field is the day
    // when it has two characters.
    QCOMPARE(rules.dates.rule(yz::DateValue::FirstArchive).order, yz::DateOrder::MonthDayYear);
    QCOMPARE(yz::scrapeFirstArchiveDate(QStringLiteral("saved 03/05/2004"), rules.dates).value,
             QStringLiteral("2004-03-05"));
    QCOMPARE(yz::scrapeFirstArchiveDate(QStringLiteral("<a href=x>Mar 05, 2004</a>"), rules.dates).value,
             QStringLiteral("NotMatch"));
    // The numbers' pattern alone keeps which matches are today's and yesterday's.
    QString cnzz;
    for (int i = 1; i <= 7; ++i)
        cnzz += QStringLiteral("<i>%1</i>").arg(i * 11);
    const yz::StatisticsResult line = rules.statistics.scrape(yz::StatisticsProvider::Cnzz, cnzz);
    QCOMPARE(line.kind, yz::StatisticsResult::Kind::Line);
    QCOMPARE(line.line,
             yz::statisticsLine(QStringLiteral("33"), QStringLiteral("11"), QStringLiteral("77"),
                                QStringLiteral("55")));
    QCOMPARE(rules.statistics.scrape(yz::StatisticsProvider::Cnzz, cnzz.left(cnzz.size() / 2)).kind,
             yz::StatisticsResult::Kind::TooFew);
    QCOMPARE(yz::scrapeStatistics(yz::StatisticsProvider::Cnzz, cnzz).kind,
             yz::StatisticsResult::Kind::Unrecognised); // the built-in rules are untouched
    QCOMPARE(rules.statistics.scrape(yz::StatisticsProvider::La51, QStringLiteral("密码不对")).kind,
             yz::StatisticsResult::Kind::WrongPassword);
    QCOMPARE(rules.statistics.scrape(yz::StatisticsProvider::La51, QStringLiteral("错误或无效的密码")).kind,
             yz::StatisticsResult::Kind::Unrecognised);
}

// A user's pattern that PCRE2 gives up on reads as unrecognised with that
// reason, for every kind of value; the built-in rules never give up.
void TestRules::patternThatGivesUp()
{
    ScrapeRules rules;
    QString error;
    QVERIFY2(yz::applyRules(
                     R"j({"baidu": {"count": {"pattern": "(x+x+)+y", "group": 1}, "snapshot": {"pattern": "(x+x+)+y"}},
                                "alexa": {"rank": {"pattern": "(x+x+)+y"}},
                                "sogou": {"rank": {"pattern": "(x+x+)+y"}},
                                "whois": {"expires": {"pattern": "((x+x+)+y)()()"}},
                                "archive": {"firstDate": {"pattern": "((x+x+)+y)()()"}}})j",
                     rules, &error),
             qPrintable(error));
    const QString page = QString(40, u'x') + QStringLiteral("z y");
    const auto gaveUp = [](const yz::Scraped &s) {
        return s.cause == yz::CellStatus::Cause::Unrecognised && s.reason == yz::patternGaveUpReason();
    };
    QVERIFY(gaveUp(rules.counts.scrape(Engine::Baidu, page)));
    QCOMPARE(rules.counts.scrape(Engine::Baidu, page).value, QStringLiteral("X"));
    QVERIFY(gaveUp(yz::scrapeSnapshotDate(page, QStringLiteral("a.com"), rules.ranks)));
    QCOMPARE(yz::scrapeSnapshotDate(page, QStringLiteral("a.com"), rules.ranks).value, QStringLiteral("No"));
    QVERIFY(gaveUp(yz::scrapeAlexaRank(page, rules.ranks)));
    QVERIFY(gaveUp(yz::scrapeSogouRank(page, rules.ranks)));
    QVERIFY(gaveUp(yz::scrapeWhoisDates(page, rules.dates)));
    QVERIFY(gaveUp(yz::scrapeFirstArchiveDate(page, rules.dates)));
    // The same page under the built-in rules: nothing found, no reason.
    QCOMPARE(yz::scrapeCount(Engine::Baidu, page).reason, QString());
    QCOMPARE(yz::scrapeAlexaRank(page).cause, yz::CellStatus::Cause::None);
    QCOMPARE(yz::scrapeFirstArchiveDate(page).reason, QString());
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
