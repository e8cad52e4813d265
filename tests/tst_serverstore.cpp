// The service's storage on SQLite and PostgreSQL, the ranks importer, and
// the small readers of what clients send.
#include "net/FormEncoding.h"
#include "net/ProgramVersion.h"
#include "server/Database.h"
#include "server/DomainName.h"
#include "server/RankScale.h"
#include "server/RanksFile.h"
#include "server/RanksImport.h"
#include "server/RulesStore.h"
#include "server/SuggestionForm.h"
#include "server/VendorStore.h"
#include "tests/support/ServerUnderTest.h"

#include <QBuffer>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace yz::server;

namespace {

struct OpenStore {
    explicit OpenStore(bool postgres)
        : throwaway(postgres)
    {
        DatabaseAddress address;
        QString error;
        ok = DatabaseAddress::parse(throwaway.url(), &address, &error);
        database = std::make_unique<Database>(address);
        ok = ok && database->open(&error);
        if (!ok)
            qWarning("%s", qPrintable(error));
        store = std::make_unique<VendorStore>(*database);
    }

    yztest::ThrowawayDatabase throwaway;
    std::unique_ptr<Database> database;
    std::unique_ptr<VendorStore> store;
    bool ok = false;
};

RanksImportResult importText(Database &database, const QByteArray &text, qint64 top = 1000)
{
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    return importRanks(buffer, database, top);
}

const QByteArray kRanksHeader = "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\n";

} // namespace

class TestServerStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void schemaIsCreatedOnceAndKept_data() { yztest::addBackendRows(); }
    void schemaIsCreatedOnceAndKept()
    {
        QFETCH(bool, postgres);
        OpenStore first(postgres);
        QVERIFY(first.ok);
        QCOMPARE(first.database->schemaVersion(), Database::kSchemaVersion);
        QVERIFY(first.store->setVersion(200912231));
        // A second connection (a restart, or a second instance) migrates
        // nothing and sees the data.
        DatabaseAddress address;
        QString error;
        QVERIFY(DatabaseAddress::parse(first.throwaway.url(), &address, &error));
        Database again(address);
        QVERIFY2(again.open(&error), qPrintable(error));
        QCOMPARE(VendorStore(again).version(), 200912231);
        // A database from a newer program is refused, not damaged.
        QSqlQuery query(first.database->db());
        QVERIFY(query.exec(QStringLiteral("UPDATE schema_version SET version = 99")));
        Database newer(address);
        QVERIFY(!newer.open(&error));
        QVERIFY2(error.contains(QLatin1String("newer")), qPrintable(error));
    }

    // A rule is broken while most of its latest answers are unrecognised and
    // it has read nothing since; refusals and failures say nothing of it;
    // old outcomes are forgotten.
    void ruleOutcomes_data() { yztest::addBackendRows(); }
    void ruleOutcomes()
    {
        QFETCH(bool, postgres);
        yztest::ThrowawayDatabase db(postgres);
        const auto database = yztest::openDatabase(db.url());
        QVERIFY(database);
        RulesStore store(*database);
        const QString rule = QStringLiteral("baidu/bd1");
        const BrokenRuleTest test{4, 0.5};
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const auto add = [&](const char *outcome, int daysAgo = 0) {
            return store.record({rule, now.addDays(-daysAgo), QString::fromLatin1(outcome), QStringLiteral("1"),
                                 QStringLiteral("http://x/")});
        };
        for (int i = 0; i < 4; ++i)
            QVERIFY(add("unrecognised"));
        QCOMPARE(store.isBroken(rule, test), false); // it never read a value
        QVERIFY(add("read", 40));
        QCOMPARE(store.isBroken(rule, test), false); // it reads now
        QVERIFY(add("unrecognised"));
        QCOMPARE(store.isBroken(rule, test), true); // three of the latest four, nothing read since
        QVERIFY(add("read"));
        QCOMPARE(store.isBroken(rule, test), false); // reads again: clears at once
        QVERIFY(add("unrecognised"));
        QCOMPARE(store.isBroken(rule, test), true); // half of the latest four
        QVERIFY(add("failed"));
        QVERIFY(add("refused"));
        QCOMPARE(store.isBroken(rule, test), false); // one of the latest four
        QCOMPARE(store.health(now.addDays(-1), test).value().value(0).answers, 9);
        QVERIFY(store.prune(now.addDays(-30)));
        QCOMPARE(store.health(now.addDays(-60), test).value().value(0).answers, 9); // the 40-day-old read is gone
    }

    void versionAndNews_data() { yztest::addBackendRows(); }
    void versionAndNews()
    {
        QFETCH(bool, postgres);
        OpenStore s(postgres);
        QVERIFY(s.ok);
        QCOMPARE(s.store->version(), yz::kProgramVersion);

        const auto a = s.store->addNews(QStringLiteral("新闻一"), QStringLiteral("http://a.example/1"));
        const auto b =
                s.store->addNews(QStringLiteral("B'); DROP TABLE news;--"), QStringLiteral("https://b.example/"));
        const auto c = s.store->addNews(QStringLiteral("<b>C</b>"), QStringLiteral("http://c.example/?x=1&y=2"));
        QVERIFY(a && b && c);
        auto titles = [&] {
            QStringList list;
            const QList<NewsItem> items = s.store->news().value();
            for (const NewsItem &item : items)
                list << item.title;
            return list;
        };
        QCOMPARE(titles(),
                 (QStringList{QStringLiteral("新闻一"), QStringLiteral("B'); DROP TABLE news;--"),
                              QStringLiteral("<b>C</b>")}));
        QVERIFY(s.store->moveNews(*c, 1));
        QCOMPARE(titles().first(), QStringLiteral("<b>C</b>"));
        QVERIFY(s.store->moveNews(*c, 99));
        QCOMPARE(titles().last(), QStringLiteral("<b>C</b>"));
        QVERIFY(s.store->removeNews(*a));
        QVERIFY(!s.store->removeNews(*a));
        QVERIFY(s.store->lastError().isEmpty()); // absent, not a failure
        QCOMPARE(titles().size(), 2);

        // What the window could not split, decode or open is refused.
        QVERIFY(!s.store->addNews(QStringLiteral("a{L|G}b"), QStringLiteral("http://x.example/")));
        QVERIFY(!s.store->addNews(QStringLiteral("a"), QStringLiteral("http://x.example/[L|G]")));
        QVERIFY(!s.store->addNews(QStringLiteral("😀"), QStringLiteral("http://x.example/")));
        QVERIFY(!s.store->addNews(QStringLiteral("a"), QStringLiteral("javascript:alert(1)")));
        QVERIFY(!s.store->addNews(QStringLiteral("a"), QStringLiteral("file:///etc/passwd")));
        QCOMPARE(titles().size(), 2);
    }

    void suggestionsKeepTheirText_data() { yztest::addBackendRows(); }
    void suggestionsKeepTheirText()
    {
        QFETCH(bool, postgres);
        OpenStore s(postgres);
        QVERIFY(s.ok);
        const QString hostile = QStringLiteral("'; DELETE FROM suggestions; -- \\ %_ \"\r\n中文\x1b]0;x\x07");
        const QDateTime old(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC);
        QVERIFY(s.store->addSuggestion(old, QStringLiteral("192.0.2.1"), QStringLiteral("old")));
        QVERIFY(s.store->addSuggestion(old.addDays(30), QStringLiteral("::1"), hostile));
        const QList<Suggestion> all = s.store->suggestions({}).value();
        QCOMPARE(all.size(), 2);
        QCOMPARE(all[1].body, hostile);
        QCOMPARE(all[1].client, QStringLiteral("::1"));
        QCOMPARE(all[0].receivedAt, old);
        const QList<Suggestion> recent = s.store->suggestions(old.addDays(1)).value();
        QCOMPARE(recent.size(), 1);
        QCOMPARE(recent[0].body, hostile);
    }

    void historyRevisionGrowsWithData_data() { yztest::addBackendRows(); }
    void historyRevisionGrowsWithData()
    {
        QFETCH(bool, postgres);
        OpenStore s(postgres);
        QVERIFY(s.ok);
        const QString host = QStringLiteral("example.com");
        QCOMPARE(s.store->historyRevision(host), 0);
        QVERIFY(s.store->addHistory(host, QDate(2026, 12, 5), 180));
        QVERIFY(s.store->addHistory(host, QDate(2026, 12, 1), 100));
        const qint64 before = s.store->historyRevision(host).value();
        QVERIFY(s.store->addHistory(host, QDate(2026, 12, 5), 175)); // the same day again: replaced
        QVERIFY(s.store->historyRevision(host).value() > before);
        const QList<HistoryPoint> points = s.store->history(host).value();
        QCOMPARE(points.size(), 2);
        QCOMPARE(points[0].day, QDate(2026, 12, 1));
        QCOMPARE(points[1].count, 175);
        // Counts stored for history do not make a domain tracked; registering does.
        QCOMPARE(s.store->isTracked(host), false);
        QVERIFY(s.store->track(host, QStringLiteral("operator")));
        QCOMPARE(s.store->isTracked(host), true);
        QCOMPARE(s.store->history(host).value().size(), 2);
    }

    void ranksImportReplacesTheTable_data() { yztest::addBackendRows(); }
    void ranksImportReplacesTheTable()
    {
        QFETCH(bool, postgres);
        OpenStore s(postgres);
        QVERIFY(s.ok);
        const QByteArray first = kRanksHeader + "1\t3.1e7\t5\t0.01\tcom.example\n2\t3e7\t1\t0.02\tcom.Example.www\n"
                + "3\t2e7\t9\t0.001\tcn.com.sina\n";
        RanksImportResult result = importText(*s.database, first);
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(result.rows, 3);
        QCOMPARE(s.store->rankPosition(QStringLiteral("www.example.com")), 2);
        QCOMPARE(s.store->rankPosition(QStringLiteral("sina.com.cn")), 3);
        QCOMPARE(s.store->rankPosition(QStringLiteral("absent.example")), 0);

        // A bad line anywhere: nothing changes, and the line is named.
        result = importText(*s.database, kRanksHeader + "1\t1\t1\t1\torg.other\nnot a row\n");
        QVERIFY(!result.ok && result.badInput);
        QVERIFY2(result.error.startsWith(QLatin1String("line 3")), qPrintable(result.error));
        QCOMPARE(s.store->rankCount(), 3);
        QCOMPARE(s.store->rankPosition(QStringLiteral("other.org")), 0);

        // A new file replaces the old table; --top keeps the first rows.
        const QByteArray second = "1\t1\t1\t1\torg.other\t4\n7\t1\t1\t1\tnet.third\t1\n9\t1\t1\t1\tnet.cut\t1\n";
        result = importText(*s.database, second, 2);
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(result.rows, 2);
        QCOMPARE(s.store->rankCount(), 2);
        QCOMPARE(s.store->rankPosition(QStringLiteral("example.com")), 0);
        QCOMPARE(s.store->rankPosition(QStringLiteral("third.net")), 7);
        QCOMPARE(s.store->rankPosition(QStringLiteral("cut.net")), 0);
        // And it can be done again (the PostgreSQL swap leaves no stray names).
        QVERIFY(importText(*s.database, second).ok);
        QCOMPARE(s.store->rankCount(), 3);
        // A top-sites list's rank,domain CSV is read as well.
        result = importText(*s.database, "rank,domain\r\n1,google.com\r\n2,Baidu.com\r\n");
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(result.rows, 2);
        QCOMPARE(s.store->rankPosition(QStringLiteral("baidu.com")), 2);
        QCOMPARE(s.store->rankPosition(QStringLiteral("third.net")), 0);
    }

    void rankLines()
    {
        RankRow row;
        QString error;
        QCOMPARE(parseRankLine("#harmonicc_pos\t#harmonicc_val", &row, &error), RankLine::Skip);
        QCOMPARE(parseRankLine("", &row, &error), RankLine::Skip);
        QCOMPARE(parseRankLine("12\t1.5e7\t3\t0.1\tcn.com.example.bbs\r", &row, &error), RankLine::Row);
        QCOMPARE(row.position, 12);
        QCOMPARE(row.name, QByteArray("bbs.example.com.cn"));
        QCOMPARE(parseRankLine("1\t2\t3\t4\tcom.a\t5", &row, &error), RankLine::Row);
        // The top-sites lists' CSV, told apart by its comma.
        QCOMPARE(parseRankLine("rank,domain", &row, &error), RankLine::Skip);
        QCOMPARE(parseRankLine("42,Example.COM\r", &row, &error), RankLine::Row);
        QCOMPARE(row.position, 42);
        QCOMPARE(row.name, QByteArray("example.com"));
        for (const char *bad : {"x,example.com", "0,example.com", "3,", "3,a b.com", "3,a.com,extra"})
            QCOMPARE(parseRankLine(bad, &row, &error), RankLine::Bad);
        for (const char *bad :
             {"1\t2\t3\t4", "x\t2\t3\t4\tcom.a", "0\t2\t3\t4\tcom.a", "1\t2\t3\t4\tcom.a\t5\t6", "1\t2\t3\t4\tcom.a b",
              "1\t2\t3\t4\t", "-1\t2\t3\t4\tcom.a", "99999999999999999\t2\t3\t4\tcom.a"})
            QCOMPARE(parseRankLine(bad, &row, &error), RankLine::Bad);
    }

    void rankScale()
    {
        const QList<QPair<qint64, int>> cases =
                {{0, 0},   {1, 10},     {4, 10},     {5, 9},       {24, 9},      {25, 8},      {124, 8},
                 {125, 7}, {390624, 3}, {390625, 2}, {1953124, 2}, {1953125, 1}, {9765625, 1}, {5'000'000'000LL, 1}};
        for (const auto &[position, rank] : cases)
            QCOMPARE(toolbarRank(position), rank);
    }

    void hostKeys()
    {
        const QList<QPair<QString, QString>> cases = {
                {QStringLiteral("Example.COM"), QStringLiteral("example.com")},
                {QStringLiteral(" http://www.example.com:8080/path?q#f "), QStringLiteral("www.example.com")},
                {QStringLiteral("example.com."), QStringLiteral("example.com")},
                {QStringLiteral("中文.cn"), QStringLiteral("xn--fiq228c.cn")},
                {QStringLiteral("example.com/../../etc/passwd"), QStringLiteral("example.com")},
                {QStringLiteral("../../etc/passwd"), QString()},
                {QStringLiteral("localhost"), QString()},
                {QStringLiteral("127.0.0.1"), QString()},
                {QStringLiteral("a b.com"), QString()},
                {QStringLiteral("a%2e.com"), QString()},
                {QStringLiteral("-a.com"), QString()},
                {QStringLiteral("x'or'1'='1.com"), QString()},
                {QStringLiteral("<script>.com"), QString()},
                {QString(300, u'a') + QStringLiteral(".com"), QString()},
                {QString(), QString()},
        };
        for (const auto &[typed, key] : cases)
            QCOMPARE(hostKey(typed), key);
        QCOMPARE(rankLookupNames(QStringLiteral("a.b.example.com")),
                 (QStringList{QStringLiteral("a.b.example.com"), QStringLiteral("b.example.com"),
                              QStringLiteral("example.com")}));
        QCOMPARE(displayHost(QStringLiteral("xn--fiq228c.cn")), QStringLiteral("中文.cn"));
    }

    // An input that would empty or shrink the ranks table is refused unless
    // the operator says so; the table keeps its rows.
    void ranksImportRefusesToLoseRanks_data() { yztest::addBackendRows(); }
    void ranksImportRefusesToLoseRanks()
    {
        QFETCH(bool, postgres);
        yztest::ThrowawayDatabase db(postgres);
        QVERIFY(!db.url().isEmpty());
        QByteArray ten = kRanksHeader;
        for (int i = 1; i <= 10; ++i)
            ten += QByteArray::number(i) + "\t1\t1\t1\tcom.site" + QByteArray::number(i) + '\n';
        const QStringList import = {QStringLiteral("ranks"), QStringLiteral("import"), QStringLiteral("-")};
        QCOMPARE(yztest::serverCommand(db.url(), import, ten).status, 0);
        const auto rows = [&] {
            auto database = yztest::openDatabase(db.url());
            return database ? VendorStore(*database).rankCount().value_or(-1) : -1;
        };
        QCOMPARE(rows(), 10);
        QTemporaryDir dir;
        const QString emptyFile = dir.filePath(QStringLiteral("empty.txt"));
        QFile(emptyFile).open(QIODevice::WriteOnly);
        for (const QByteArray &input : {QByteArray(), kRanksHeader, QByteArray("# a comment\n\n")}) {
            const yztest::CommandResult r = yztest::serverCommand(db.url(), import, input);
            QCOMPARE(r.status, 2);
            QVERIFY2(r.err.contains("no ranks") && r.err.contains("10"), r.err.constData());
        }
        QCOMPARE(yztest::serverCommand(db.url(), {QStringLiteral("ranks"), QStringLiteral("import"), emptyFile}).status,
                 2);
        QCOMPARE(rows(), 10);
        const QByteArray four = kRanksHeader
                + "1\t1\t1\t1\tcom.a\n2\t1\t1\t1\tcom.b\n3\t1\t1\t1\tcom.c\n"
                  "4\t1\t1\t1\tcom.d\n";
        const yztest::CommandResult shrink = yztest::serverCommand(db.url(), import, four);
        QCOMPARE(shrink.status, 2);
        QVERIFY2(shrink.err.contains(" 4 ") && shrink.err.contains(" 10 "), shrink.err.constData());
        QCOMPARE(rows(), 10);
        QCOMPARE(yztest::serverCommand(db.url(), import + QStringList{QStringLiteral("--force")}, four).status, 0);
        QCOMPARE(rows(), 4);
        QCOMPARE(yztest::serverCommand(db.url(), import + QStringList{QStringLiteral("--allow-empty")}, {}).status, 0);
        QCOMPARE(rows(), 0);
    }

    // Bad input to an operator command: status 2, a message, nothing written.
    void operatorCommandsRefuseBadInput()
    {
        yztest::ThrowawayDatabase db(false);
        // A refusal says why: one without a message fails the test.
        QStringList silent;
        auto status = [&](const QStringList &args, const QByteArray &input = {}) {
            const yztest::CommandResult r = yztest::serverCommand(db.url(), args, input);
            if (r.status == 2 && r.err.trimmed().isEmpty())
                silent << args.join(u' ');
            return r.status;
        };
        const QString kRanks = QStringLiteral("ranks");
        QCOMPARE(status({kRanks, QStringLiteral("import"), QStringLiteral("-")}, "1\t1\t1\t1\tcom.kept\n"), 0);
        const QList<QStringList> refused = {
                {QStringLiteral("version"), QStringLiteral("set"), QStringLiteral("v2")},
                {QStringLiteral("version"), QStringLiteral("set"), QStringLiteral("99999999999")},
                {QStringLiteral("version"), QStringLiteral("drop")},
                {QStringLiteral("news"), QStringLiteral("add"), QStringLiteral("a{L|G}b"),
                 QStringLiteral("http://x.cn/")},
                {QStringLiteral("news"), QStringLiteral("add"), QStringLiteral("a"), QStringLiteral("ftp://x.cn/")},
                {QStringLiteral("news"), QStringLiteral("add"), QStringLiteral("only a title")},
                {QStringLiteral("news"), QStringLiteral("remove"), QStringLiteral("42")},
                {QStringLiteral("news"), QStringLiteral("move"), QStringLiteral("1"), QStringLiteral("first")},
                {QStringLiteral("history"), QStringLiteral("add"), QStringLiteral("../etc"),
                 QStringLiteral("2026-12-01"), QStringLiteral("5")},
                {QStringLiteral("history"), QStringLiteral("add"), QStringLiteral("example.com"),
                 QStringLiteral("2026-13-01"), QStringLiteral("5")},
                {QStringLiteral("history"), QStringLiteral("add"), QStringLiteral("example.com"),
                 QStringLiteral("2026-12-01"), QStringLiteral("-5")},
                {QStringLiteral("suggestions"), QStringLiteral("--since"), QStringLiteral("yesterday")},
                {QStringLiteral("suggestions"), QStringLiteral("--bogus")},
                {kRanks, QStringLiteral("import"), QStringLiteral("/no/such/file")},
                {kRanks, QStringLiteral("import"), QStringLiteral("-"), QStringLiteral("--top"), QStringLiteral("0")},
                {QStringLiteral("domains"), QStringLiteral("add"), QStringLiteral("<b>")},
                {QStringLiteral("frobnicate")},
                {QStringLiteral("serve"), QStringLiteral("--listen"), QStringLiteral("nowhere")},
                {QStringLiteral("serve"), QStringLiteral("--public-base"), QStringLiteral("javascript:x")},
        };
        for (const QStringList &args : refused)
            QVERIFY2(status(args) == 2, qPrintable(args.join(u' ')));
        QVERIFY2(silent.isEmpty(), qPrintable(QStringLiteral("refused without a message: ") + silent.join(u"; ")));
        // A ranks file with a bad line leaves the table as it was.
        QCOMPARE(status({kRanks, QStringLiteral("import"), QStringLiteral("-")}, "1\t1\t1\t1\tcom.new\nbad\n"), 2);
        QCOMPARE(yztest::serverCommand(QStringLiteral("postgresql://"),
                                       {QStringLiteral("version"), QStringLiteral("show")})
                         .status,
                 2);
        QVERIFY(yztest::serverCommand(db.url(), {QStringLiteral("news"), QStringLiteral("list")}).out.isEmpty());
        QVERIFY(yztest::serverCommand(db.url(), {QStringLiteral("version"), QStringLiteral("show")}).out
                == "200912230\n");
        const auto database = yztest::openDatabase(db.url());
        QVERIFY(database);
        VendorStore store(*database);
        QCOMPARE(store.rankPosition(QStringLiteral("kept.com")), 1);
        QCOMPARE(store.rankPosition(QStringLiteral("new.com")), 0);
        QCOMPARE(store.history(QStringLiteral("example.com")).value().size(), 0);

        // What a client sent is printed without anything that steers a terminal.
        QVERIFY(store.addSuggestion(QDateTime::currentDateTimeUtc(), QStringLiteral("1.2.3.4\x1b[2J"),
                                    QStringLiteral("line one\x1b]0;pwned\x07\r\nline two\u202e")));
        const QByteArray printed = yztest::serverCommand(db.url(), {QStringLiteral("suggestions")}).out;
        QVERIFY(!printed.contains('\x1b') && !printed.contains('\x07') && !printed.contains("\u202e"));
        QVERIFY(printed.contains("  line one"));
        QVERIFY(printed.contains("  line two"));
    }

    // What the command table says of each command: how many arguments it
    // takes, and whether it reads, writes or never opens the database, which
    // is opened only once the command has checked its arguments.
    void commandTableShapesEachCommand()
    {
        QTemporaryDir dir;
        const QString unreachable = dir.filePath(QStringLiteral("no/such/dir/x.sqlite"));
        using yztest::serverCommand;
        // A bad argument is told as such even where no database could open.
        yztest::CommandResult r =
                serverCommand(unreachable, {QStringLiteral("version"), QStringLiteral("set"), QStringLiteral("v2")});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains("the version is a whole number"), r.err.constData());
        r = serverCommand(unreachable, {QStringLiteral("version"), QStringLiteral("set"), QStringLiteral("5")});
        QCOMPARE(r.status, 1);
        // A reading command never makes the file it was asked to read.
        const QString missing = dir.filePath(QStringLiteral("missing.sqlite"));
        for (const QStringList &reads : {QStringList{QStringLiteral("news"), QStringLiteral("list")},
                                         QStringList{QStringLiteral("rules"), QStringLiteral("list")},
                                         QStringList{QStringLiteral("domains"), QStringLiteral("list")}}) {
            r = serverCommand(missing, reads);
            QCOMPARE(r.status, 1);
            QVERIFY2(r.err.contains("no database at"), r.err.constData());
            QVERIFY(!QFileInfo::exists(missing));
        }
        // A writing one makes it, with its schema.
        QCOMPARE(serverCommand(missing, {QStringLiteral("version"), QStringLiteral("set"), QStringLiteral("3")}).status,
                 0);
        QCOMPARE(serverCommand(missing, {QStringLiteral("version"), QStringLiteral("show")}).out, QByteArray("3\n"));
        // Too few or too many arguments: the command's synopsis.
        r = serverCommand(missing,
                          {QStringLiteral("rules"), QStringLiteral("show"), QStringLiteral("1"), QStringLiteral("2")});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.contains("usage: yanzhou-server rules show [N]"), r.err.constData());
        QCOMPARE(serverCommand(missing, {QStringLiteral("news"), QStringLiteral("move"), QStringLiteral("1")}).status,
                 2);
        // A command that uses no database ignores one that cannot open.
        const QString key = dir.filePath(QStringLiteral("k.key"));
        QCOMPARE(serverCommand(unreachable,
                               {QStringLiteral("rules"), QStringLiteral("keygen"), QStringLiteral("--out"), key})
                         .status,
                 0);
        QVERIFY(QFileInfo::exists(key));
        // --help is the command's own, whatever --db says.
        r = serverCommand(unreachable, {QStringLiteral("news"), QStringLiteral("add"), QStringLiteral("--help")});
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.startsWith("Usage: yanzhou-server news add TITLE ADDRESS\n"));
    }

    // The form body the window sends comes back as the text that was typed.
    void suggestionForm()
    {
        const QString typed = QStringLiteral("中文 & = ~ + 100%\r\nNeed PR query 2.0! 😀");
        const QString expected = QString(typed).replace(QStringLiteral("😀"), QStringLiteral("?"));
        const QByteArray body = "c=" + yz::urlencode(typed).toLatin1();
        QCOMPARE(decodeSuggestionForm(body), expected);
        QCOMPARE(decodeSuggestionForm("c="), QString());
        QCOMPARE(decodeSuggestionForm("x=1&c=a+b"), QStringLiteral("a b"));
        QCOMPARE(decodeSuggestionForm("c=%G1%4%"), QStringLiteral("%G1%4%"));
        QCOMPARE(decodeSuggestionForm("c=%FF%FE"), QStringLiteral("\uFFFD\uFFFD"));
        QVERIFY(!decodeSuggestionForm("text=hello").has_value());
        QVERIFY(!decodeSuggestionForm("").has_value());
    }
};

QTEST_GUILESS_MAIN(TestServerStore)
#include "tst_serverstore.moc"
