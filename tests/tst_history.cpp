// The results database and what is read out of it: the store's layout and
// its migration, what a change is, the change report and a domain's history.
#include "results/HistoryTable.h"
#include "results/ResultStore.h"
#include "results/ValueComparison.h"
#include "tests/support/CliProcess.h"
#include "tests/support/FakeServices.h"
#include "tests/support/SamplePages.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

using yz::Service;

namespace {

// Runs a query against the database file outside the program.
QList<QVariantList> sql(const QString &file, const QString &statement)
{
    QList<QVariantList> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
        db.setDatabaseName(file);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(statement))
                while (q.next()) {
                    QVariantList row;
                    for (int i = 0; i < q.record().count(); ++i)
                        row.append(q.value(i));
                    rows.append(row);
                }
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("peek"));
    return rows;
}

yztest::FakeResponse baiduCount(const QString &count)
{
    return yztest::ok(yztest::gbk(QStringLiteral("找到相关网页约%1篇").arg(count)));
}

} // namespace

class TestHistory : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void whatIsTheSameValue();
    void historyTableMeasuresAgainstTheLastGoodValue();
    void nightsThatChangeNothingReportNothing();
    void reportSaysWhatChanged();
    void chaosLeavesNoLoadingBehind();
    void previousLayoutIsMigrated();
    void newerLayoutIsRefused();
    void changesSinceLocalMidnight();
    void resultsInTheDataDirectory();
    void historyWordsAndTheirErrors();
    void resumeAsksOnlyWhatFailed();

private:
    yztest::CliRun run(const QStringList &args) { return yztest::runCli(QStringLiteral(YZ_CLI), args, m_environment); }
    QString endpointsFile(const yztest::FakeServices &services)
    {
        return services.writeEndpointsFile(m_dir.filePath(QStringLiteral("endpoints.json")));
    }

    QTemporaryDir m_dir;
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
};

void TestHistory::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_environment.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
}

void TestHistory::whatIsTheSameValue()
{
    // Counts as numbers: separators and blanks from the page do not count.
    QVERIFY(yz::sameValue(QStringLiteral("9876"), QStringLiteral(" 9876 ")));
    QVERIFY(yz::sameValue(QStringLiteral("12,345"), QStringLiteral("12345")));
    QVERIFY(yz::sameValue(QStringLiteral("007"), QStringLiteral("7")));
    QVERIFY(!yz::sameValue(QStringLiteral("12,345"), QStringLiteral("12346")));
    QVERIFY(!yz::sameValue(QStringLiteral("0"), QStringLiteral("")));
    QVERIFY(!yz::sameValue(QStringLiteral("12"), QStringLiteral("X")));
    // Dates as dates.
    QVERIFY(yz::sameValue(QStringLiteral("2010-3-9"), QStringLiteral("2010-03-09")));
    QVERIFY(yz::sameValue(QStringLiteral("2003-03-17至2012-03-17"), QStringLiteral("2003-3-17至2012-3-17")));
    QVERIFY(!yz::sameValue(QStringLiteral("2003-03-17至2012-03-17"), QStringLiteral("2003-03-17至2013-03-17")));
    QVERIFY(!yz::sameValue(QStringLiteral("2010-3-9"), QStringLiteral("No")));
    QVERIFY(yz::sameValue(QStringLiteral("NotMatch"), QStringLiteral("NotMatch ")));

    QCOMPARE(yz::percentChange(QStringLiteral("1,230,000"), QStringLiteral("1250000")), QStringLiteral("+1.6%"));
    QCOMPARE(yz::percentChange(QStringLiteral("200"), QStringLiteral("100")), QStringLiteral("-50%"));
    QCOMPARE(yz::percentChange(QStringLiteral("0"), QStringLiteral("100")), QString());
    QCOMPARE(yz::percentChange(QStringLiteral("2010-3-9"), QStringLiteral("2010-3-10")), QString());

    QCOMPARE(yz::measuredBy(QStringLiteral("ok")), yz::Measured::Value);
    QCOMPARE(yz::measuredBy(QStringLiteral("none")), yz::Measured::Value);
    QCOMPARE(yz::measuredBy(QStringLiteral("refused")), yz::Measured::Failure);
    QCOMPARE(yz::measuredBy(QStringLiteral("failed")), yz::Measured::Failure);
    QCOMPARE(yz::measuredBy(QString()), yz::Measured::Nothing);
}

// A failure is no value: the value after it is compared with the one before.
void TestHistory::historyTableMeasuresAgainstTheLastGoodValue()
{
    const auto runOf = [](qint64 id, const QString &value, const QString &status) {
        yz::StoredRun run;
        run.id = id;
        run.at = QDateTime(QDate(2026, 12, int(id)), QTime(3, 30), Qt::UTC);
        run.cells.append({QStringLiteral("tb1/收录/Baidu"), value, status, 0});
        return run;
    };
    const yz::HistoryTable table = yz::historyTable({runOf(1, QStringLiteral("1230000"), QStringLiteral("ok")),
                                                     runOf(2, QStringLiteral("X"), QStringLiteral("failed")),
                                                     runOf(3, QStringLiteral("1,230,000"), QStringLiteral("ok")),
                                                     runOf(4, QStringLiteral("1250000"), QStringLiteral("ok"))},
                                                    QDateTime(QDate(2026, 12, 2), QTime(0, 0), Qt::UTC));
    QCOMPARE(table.lines.size(), 3); // from the 2nd on, measured against all before
    QVERIFY(table.lines[0].changes.isEmpty());
    QCOMPARE(table.lines[0].failed, QStringList{QStringLiteral("tb1/收录/Baidu")});
    QVERIFY(table.lines[1].changes.isEmpty());
    QCOMPARE(table.lines[2].changes.size(), 1);
    QCOMPARE(table.lines[2].changes[0].before, QStringLiteral("1,230,000"));
    QCOMPARE(table.lines[2].changes[0].after, QStringLiteral("1250000"));
    const QByteArray csv = yz::historyCsv(table);
    QVERIFY(csv.startsWith("\xEF\xBB\xBF时间,来源,收录/Baidu,变化,失败\r\n"));
    QVERIFY(csv.endsWith("2026-12-04 03:30,,1250000,收录/Baidu,\r\n"));
}

// Alternating groups, a failed night and a page's blanks are no changes:
// nothing is reported when nothing is different on the engines.
void TestHistory::nightsThatChangeNothingReportNothing()
{
    yztest::FakeServices services;
    yztest::serveSamplePages(services);
    const QString endpoints = endpointsFile(services);
    const QString store = m_dir.filePath(QStringLiteral("nights.sqlite"));
    const QStringList night = {"--store", store, "--endpoints", endpoints, "example.com", "b.example"};
    QCOMPARE(run(QStringList{"--common"} + night).exitCode, 0);
    QCOMPARE(run(QStringList{"--rank"} + night).exitCode, 0);
    QCOMPARE(run(QStringList{"--common"} + night).exitCode, 0);
    // (The sample pages' refusals are failures, reported on their own.)
    yztest::CliRun r = run({"history", "--changed", "--store", store});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(!r.out.contains("→") && r.out.contains("  4 次查询失败"), r.out.constData());
    r = run({"history", "example.com", "--store", store});
    QCOMPARE(r.out.count('\n'), 3);
    QVERIFY2(!r.out.contains("→"), r.out.constData());
    // The runs are told apart by their id, and keep the groups that ran.
    QCOMPARE(sql(store, QStringLiteral("SELECT groups FROM runs WHERE domain = 'example.com' ORDER BY id")),
             (QList<QVariantList>{{QStringLiteral("common")}, {QStringLiteral("rank")}, {QStringLiteral("common")}}));

    // Every engine failing for a night, then answering as before.
    QCOMPARE(run({"history", "--changed", "--unreported", "--store", store}).exitCode, 0);
    yztest::FakeResponse notFound;
    notFound.status = 404;
    services.setResponseForAll(notFound);
    QCOMPARE(run(QStringList{"--common"} + night).exitCode, 0);
    r = run({"history", "--changed", "--unreported", "--store", store});
    QVERIFY2(r.out.contains("example.com\n") && r.out.contains("次查询失败"), r.out.constData());
    QVERIFY2(!r.out.contains("→"), r.out.constData());
    yztest::serveSamplePages(services);
    // Blanks and separators around the same count.
    services[Service::Baidu].setResponse(baiduCount(QStringLiteral(" 1,230,000 ")));
    // (Baidu's backlinks page now reads 1230000 too: a change of its own.)
    QCOMPARE(run(QStringList{"--common"} + night).exitCode, 0);
    r = run({"history", "--changed", "--unreported", "--store", store});
    QVERIFY2(!r.out.contains("收录/Baidu") && r.out.contains("外链/Baidu 0 → 1230000（"), r.out.constData());
    // Nothing failed and nothing changed: no report at all, so no mail.
    QCOMPARE(run(QStringList{"--recent"} + night).exitCode, 0);
    r = run({"history", "--changed", "--unreported", "--store", store});
    QVERIFY2(!r.out.contains("→") && !r.out.contains("失败"), r.out.constData());
    QCOMPARE(run(QStringList{"--recent"} + night).exitCode, 0);
    r = run({"history", "--changed", "--unreported", "--store", store});
    QCOMPARE(r.out, QByteArray());
}

// The report names each change once, with the old and new values and the
// change in per cent, and the same facts as CSV and JSON.
void TestHistory::reportSaysWhatChanged()
{
    yztest::FakeServices services;
    yztest::serveSamplePages(services);
    const QString endpoints = endpointsFile(services);
    const QString store = m_dir.filePath(QStringLiteral("report.sqlite"));
    const QStringList night = {"--common", "--store", store, "--endpoints", endpoints, "example.com"};
    QCOMPARE(run(night).exitCode, 0);
    QCOMPARE(run({"history", "--changed", "--unreported", "--store", store}).exitCode, 0);
    services[Service::Baidu].setResponse(baiduCount(QStringLiteral("1,250,000")));
    QCOMPARE(run(night).exitCode, 0);

    yztest::CliRun r = run({"history", "--changed", "--store", store});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.startsWith("站点数据变化（本地时间）\n\nexample.com\n"), r.out.constData());
    QVERIFY2(r.out.contains("  收录/Baidu 1230000 → 1250000 +1.6%（"), r.out.constData());
    QCOMPARE(r.out.count("→ 1250000"), 2); // indexed pages and backlinks, nothing else
    r = run({"history", "--changed", "--csv", "--store", store});
    QVERIFY2(r.out.startsWith("\xEF\xBB\xBF域名,指标,原值,原值时间,新值,新值时间,变化\r\n"), r.out.constData());
    QVERIFY(r.out.contains("example.com,收录/Baidu,1230000,"));
    QVERIFY(r.out.contains(",1250000,"));
    r = run({"history", "--changed", "--json", "--store", store});
    const QJsonObject json = QJsonDocument::fromJson(r.out.split('\n').first()).object();
    QCOMPARE(json["domain"].toString(), QStringLiteral("example.com"));
    QCOMPARE(json["changes"][0]["metric"].toString(), QStringLiteral("收录/Baidu"));
    QCOMPARE(json["changes"][0]["before"].toString(), QStringLiteral("1230000"));
    QCOMPARE(json["changes"][0]["after"].toString(), QStringLiteral("1250000"));
    QCOMPARE(json["changes"][0]["percent"].toString(), QStringLiteral("+1.6%"));
    QVERIFY(json["changes"][0]["after_at"].toString().endsWith(u'Z')); // the time zone is UTC here

    // Each change mailed once: the second report of the same runs is empty.
    r = run({"history", "--changed", "--unreported", "--store", store});
    QVERIFY2(r.out.contains("1230000 → 1250000"), r.out.constData());
    r = run({"history", "--changed", "--unreported", "--store", store});
    QVERIFY2(r.out.isEmpty(), r.out.constData());
    // A domain's history marks the change against the run before.
    r = run({"history", "example.com", "--store", store});
    const QList<QByteArray> lines = r.out.trimmed().split('\n');
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].contains("命令行  （第一次）"), lines[0].constData());
    QVERIFY2(lines[1].contains("收录/Baidu 1230000 → 1250000（+1.6%）"), lines[1].constData());
}

// A run that ends with a cell still waiting (the vendor answers the
// PageRank address with no address) stores a failure, never "loading".
void TestHistory::chaosLeavesNoLoadingBehind()
{
    yztest::FakeServices services;
    yztest::serveSamplePages(services);
    services[Service::Vendor].setResponse(yztest::ok("<html>no address here</html>"));
    const QString store = m_dir.filePath(QStringLiteral("chaos.sqlite"));
    const yztest::CliRun r =
            run({"--rank", "--csv", "--detail", "--store", store, "--endpoints", endpointsFile(services), "a.com"});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(!r.out.contains("loading") && !r.out.contains("waiting"), r.out.constData());
    QVERIFY2(r.out.contains(",X,failed 没有得到应答,"), r.out.constData());
    QVERIFY(sql(store, QStringLiteral("SELECT 1 FROM cells WHERE value = 'loading' OR status = 'waiting'")).isEmpty());
    QCOMPARE(sql(store,
                 QStringLiteral("SELECT c.status FROM cells c JOIN metrics m ON m.id = c.metric "
                                "WHERE m.key = 'tb2/PR'")),
             (QList<QVariantList>{{QStringLiteral("failed")}}));
}

// A file written by the previous layout (one table of cells, runs told apart
// by their second) is migrated in place on first open, nothing lost.
void TestHistory::previousLayoutIsMigrated()
{
    const QString store = m_dir.filePath(QStringLiteral("v1.sqlite"));
    QVERIFY(QFile::copy(QStringLiteral(YZ_TEST_DATA "/results-v1.sqlite"), store));
    const int oldCells = sql(store, QStringLiteral("SELECT COUNT(*) FROM results")).value(0).value(0).toInt();
    QCOMPARE(oldCells, 144);
    yztest::CliRun r = run({"history", "example.com", "--store", store});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(sql(store, QStringLiteral("PRAGMA user_version")).value(0).value(0).toInt(), 2);
    QCOMPARE(sql(store, QStringLiteral("SELECT COUNT(*) FROM cells")).value(0).value(0).toInt(), oldCells);
    // Two runs within one second are two runs; each run keeps the groups it ran.
    QCOMPARE(sql(store, QStringLiteral("SELECT groups FROM runs WHERE domain = 'example.com' ORDER BY id")),
             (QList<QVariantList>{{QStringLiteral("common")},
                                  {QStringLiteral("rank")},
                                  {QStringLiteral("common,rank,recent,info")},
                                  {QStringLiteral("common")},
                                  {QStringLiteral("common")}}));
    QCOMPARE(r.out.count('\n'), 5);
    QVERIFY2(!r.out.contains("→"), r.out.constData());
    // "loading" left behind by the old PageRank chain is a failure now.
    QVERIFY(sql(store, QStringLiteral("SELECT 1 FROM cells WHERE value = 'loading'")).isEmpty());
    // The migrated file takes new runs beside the old ones.
    yztest::FakeServices services;
    yztest::serveSamplePages(services);
    QCOMPARE(run({"--info", "--store", store, "--endpoints", endpointsFile(services), "example.com"}).exitCode, 0);
    r = run({"history", "example.com", "--store", store});
    QCOMPARE(r.out.count('\n'), 6);
    QVERIFY2(r.out.trimmed().split('\n').last().contains("域名信息 2001-02-03至2030-04-05 → 2003-03-17至2012-03-17"),
             r.out.constData());
}

void TestHistory::newerLayoutIsRefused()
{
    const QString store = m_dir.filePath(QStringLiteral("newer.sqlite"));
    {
        yz::ResultStore results(store);
        QString error;
        QVERIFY(results.open(yz::ResultStore::Purpose::Writing, &error));
    }
    sql(store, QStringLiteral("PRAGMA user_version = 3"));
    const yztest::CliRun r = run({"history", "example.com", "--store", store});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("结果数据库的版本是 3"), r.err.constData());
    QCOMPARE(sql(store, QStringLiteral("PRAGMA user_version")).value(0).value(0).toInt(), 3);
}

// --since is midnight of the day in the user's time zone; the report's
// times are local too.
void TestHistory::changesSinceLocalMidnight()
{
    const QString store = m_dir.filePath(QStringLiteral("midnight.sqlite"));
    QVERIFY(QFile::copy(QStringLiteral(YZ_TEST_DATA "/results-v1.sqlite"), store));
    QFile::setPermissions(store, QFile::ReadOwner | QFile::WriteOwner);
    sql(store, QStringLiteral("DELETE FROM results"));
    // Shanghai is UTC+8: 23:30 on the 6th and 00:30 on the 7th, local time.
    for (const auto &[at, domain, value] :
         {std::tuple{"2026-12-06T15:30:00Z", "WWW.UPPER.COM", "100"},
          std::tuple{"2026-12-06T16:30:00Z", "www.upper.com", "120"},
          std::tuple{"2026-12-06T15:30:00Z", "same.com", "5"}, std::tuple{"2026-12-06T16:30:00Z", "same.com", "5"}})
        sql(store,
            QStringLiteral("INSERT INTO results VALUES ('%1', '%2', 'tb1/收录/Baidu', '%3', 'ok', 0)")
                    .arg(QLatin1String(at), QLatin1String(domain), QLatin1String(value)));
    m_environment.insert(QStringLiteral("TZ"), QStringLiteral("Asia/Shanghai"));
    yztest::CliRun r = run({"history", "--changed", "--since", "2026-12-07", "--store", store});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(QString::fromUtf8(r.out),
             QStringLiteral("站点数据变化（2026-12-07 00:00 起，本地时间）\n\nwww.upper.com\n"
                            "  收录/Baidu 100 → 120 +20%（2026-12-06 23:30 → 2026-12-07 00:30）\n"));
    r = run({"history", "--changed", "--since", "2026-12-08", "--store", store});
    QCOMPARE(r.out, QByteArray());
    r = run({"history", "HTTP://www.Upper.com/", "--since", "2026-12-07", "--store", store});
    QCOMPARE(r.out.count('\n'), 1);
    QVERIFY2(r.out.startsWith("2026-12-07 00:30  收录/Baidu 100 → 120（+20%）"), r.out.constData());
    m_environment.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
    r = run({"history", "--changed", "--since", "2026-12-07", "--store", store});
    QCOMPARE(r.out, QByteArray()); // both runs were on the 6th in UTC
}

// Results live in one place in the user's data directory: --store alone
// writes there and history reads there; reading never makes a database.
void TestHistory::resultsInTheDataDirectory()
{
    yztest::FakeServices services;
    yztest::serveSamplePages(services);
    const QString endpoints = endpointsFile(services);
    const QString data = m_dir.filePath(QStringLiteral("data-home"));
    QProcessEnvironment saved = m_environment;
    m_environment.insert(QStringLiteral("XDG_DATA_HOME"), data);
    const QString expected = data + QStringLiteral("/yanzhou/results.sqlite");
    yztest::CliRun r = run({"history", "example.com"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(("没有结果数据库 " + expected).toUtf8()), r.err.constData());
    QVERIFY(!QFileInfo::exists(expected));
    QCOMPARE(run({"--common", "--endpoints", endpoints, "example.com", "--store"}).exitCode, 0);
    QCOMPARE(run({"--common", "--store", "--endpoints", endpoints, "example.com"}).exitCode, 0);
    r = run({"history", "example.com"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out.count('\n'), 2);
    // A value that a spreadsheet would run is kept a text.
    sql(expected, QStringLiteral("UPDATE cells SET value = '=HYPERLINK(\"x\")' WHERE metric = 1"));
    r = run({"history", "example.com", "--csv"});
    QVERIFY2(r.out.contains(",\"'=HYPERLINK(\"\"x\"\")\","), r.out.constData());
    // What the database holds is shown, never obeyed.
    sql(expected, QStringLiteral("UPDATE runs SET source = 'x' WHERE id = 1"));
    sql(expected, QStringLiteral("UPDATE metrics SET key = 'tb1/\x1b]0;title\x07' WHERE id = 2"));
    r = run({"history", "example.com"});
    QVERIFY(!r.out.contains('\x1b') && !r.out.contains('\x07'));
    m_environment = saved;
}

void TestHistory::historyWordsAndTheirErrors()
{
    const QString store = m_dir.filePath(QStringLiteral("words.sqlite"));
    {
        yz::ResultStore results(store);
        QString error;
        QVERIFY(results.open(yz::ResultStore::Purpose::Writing, &error));
    }
    yztest::CliRun r = run({"history", "nosuch.example", "--store", store});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("没有 nosuch.example 的记录"), r.err.constData());
    r = run({"history", "--store", store});
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains("需要一个域名"), r.err.constData());
    r = run({"history", "a.com", "--bogus", "--store", store});
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains("未知的选项：--bogus"), r.err.constData());
    r = run({"history", "a.com", "--store", store, "--since"});
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains("选项 --since 需要一个值"), r.err.constData());
    r = run({"history", "a.com", "--since", "yesterday", "--store", store});
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains("--since 需要 YYYY-MM-DD 格式的日期"), r.err.constData());
    QCOMPARE(run({"history", "a.com", "--unreported", "--store", store}).exitCode, 2);
    r = run({"rules", "check", "--nonsense"});
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains("未知的选项：--nonsense"), r.err.constData());
    r = run({"rules", "status", "--endpoints"});
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains("选项 --endpoints 需要一个值"), r.err.constData());
}

// --resume: a domain whose run today has everything is not asked again; one
// with failed cells asks only those, and today's run is completed.
void TestHistory::resumeAsksOnlyWhatFailed()
{
    yztest::FakeServices services;
    services.setResponseForAll(yztest::ok(yztest::gbk(QStringLiteral("找到相关网页约12篇 约 <b>34</b> 个"))));
    yztest::FakeResponse notFound;
    notFound.status = 404;
    services[Service::Google].setScript([notFound](const yztest::RecordedRequest &r) {
        return r.target.contains("broken.example") ? notFound
                                                   : yztest::ok(yztest::gbk(QStringLiteral("约 <b>34</b> 个")));
    });
    const QString endpoints = endpointsFile(services);
    const QString store = m_dir.filePath(QStringLiteral("resume.sqlite"));
    const QStringList night = {"--recent",    "--csv",   "--store",       store,
                               "--endpoints", endpoints, "whole.example", "broken.example"};
    QCOMPARE(run(night).exitCode, 0);
    QCOMPARE(services.requestCount(), 12);
    services.clearAll();
    services.setResponseForAll(yztest::ok(yztest::gbk(QStringLiteral("找到相关网页约12篇 约 <b>34</b> 个"))));
    yztest::CliRun r = run(night + QStringList{"--resume"});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.err.contains("今天已有完整结果，跳过 1 个域名"), r.err.constData());
    // Only broken.example's three Google cells were asked again.
    QCOMPARE(services[Service::Baidu].requests().size(), 0);
    QCOMPARE(services[Service::Google].requests().size(), 3);
    QVERIFY(services[Service::Google].requests().first().target.contains("broken.example"));
    // Its line shows the whole record: Baidu's stored counts and Google's new ones.
    const QList<QByteArray> lines = r.out.trimmed().split('\n');
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[1].startsWith("broken.example,") && lines[1].count(",12,") + lines[1].endsWith(",12") >= 1
                     && lines[1].contains(",34,"),
             lines[1].constData());
    // Today's run is completed, not doubled.
    QCOMPARE(sql(store, QStringLiteral("SELECT COUNT(*) FROM runs")).value(0).value(0).toInt(), 2);
    QVERIFY(sql(store, QStringLiteral("SELECT 1 FROM cells WHERE status = 'failed'")).isEmpty());
    // Everything there now: a third run asks nothing.
    services.clearAll();
    r = run(night + QStringList{"--resume"});
    QVERIFY2(r.err.contains("跳过 2 个域名"), r.err.constData());
    QCOMPARE(services.requestCount(), 0);
    QCOMPARE(run({"--resume", "a.com"}).exitCode, 2);
}

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"
