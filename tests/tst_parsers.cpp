// Scraping result pages: the count family, the rank values, and the linear
// matching of the lazy count patterns.
#include "parsers/CountParsers.h"
#include "parsers/PrefixAnchoredPattern.h"
#include "parsers/RankParsers.h"

#include <QRandomGenerator>
#include <QTest>

using yz::Engine;
using yz::scrapeCount;

Q_DECLARE_METATYPE(yz::Engine)

namespace {

// Markup around a marker, with decoy numbers, as a real page would carry.
QString page(const QString &marker)
{
    QString filler;
    for (int i = 0; i < 40; ++i)
        filler += QStringLiteral("<div class=\"r\"><a href=\"/l?%1\">结果 %1, 共计 12,34%1 字</a></div>\n").arg(i);
    return QStringLiteral("<html><head><title>搜索</title></head><body>\n") + filler + marker + filler
            + QStringLiteral("</body></html>");
}

} // namespace

class TestParsers : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void counts_data();
    void counts();
    void failedRequestGivesX();
    void prefixAnchoringMatchesThePlainPattern_data();
    void prefixAnchoringMatchesThePlainPattern();
    void snapshotDate_data();
    void snapshotDate();
    void snapshotDomainIsMatchedLiterally();
    void ranks();
};

void TestParsers::counts_data()
{
    QTest::addColumn<Engine>("engine");
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("expected");
    QTest::newRow("baidu about") << Engine::Baidu << page(QStringLiteral("找到相关网页约1,230,000篇")) << "1230000";
    QTest::newRow("baidu exact") << Engine::Baidu << page(QStringLiteral("找到相关网页1,234篇")) << "1234";
    QTest::newRow("baidu spaces stay") << Engine::Baidu << page(QStringLiteral("找到相关网页约 12 篇")) << " 12 ";
    QTest::newRow("baidu empty") << Engine::Baidu << page(QStringLiteral("抱歉，没有找到与“x”相关的网页")) << "0";
    QTest::newRow("baidu robot page unknown") << Engine::Baidu << page(QStringLiteral("发送自动查询")) << "X";
    QTest::newRow("google about") << Engine::Google << page(QStringLiteral("约 <b>12,300</b> 条")) << "12300";
    QTest::newRow("google has") << Engine::Google << page(QStringLiteral("有 <B>12,300</B> 个")) << "12300";
    QTest::newRow("google count beats 302")
            << Engine::Google << page(QStringLiteral("302 Moved 约 <b>5</b> 条")) << "5";
    QTest::newRow("google automated") << Engine::Google << page(QStringLiteral("您的计算机正在发送自动查询")) << "频";
    QTest::newRow("google 302") << Engine::Google << page(QStringLiteral("<h1>302 Moved</h1>")) << "频";
    QTest::newRow("google empty") << Engine::Google << page(QStringLiteral("找不到和您的查询相符的网页")) << "0";
    QTest::newRow("google 302 is case-sensitive") << Engine::Google << page(QStringLiteral("302 moved")) << "X";
    QTest::newRow("yahoo") << Engine::Yahoo << page(QStringLiteral("共 <strong>9,876</strong>")) << "9876";
    QTest::newRow("yahoo empty") << Engine::Yahoo << page(QStringLiteral("没有搜索到结果")) << "0";
    QTest::newRow("sogou") << Engine::Sogou << page(QStringLiteral("<!--resultbarnum:5,678-->")) << "5678";
    QTest::newRow("sogou robot") << Engine::Sogou
                                 << page(QStringLiteral("搜狗为防止被某些程序恶意搜索抓取页面，请输入验证码")) << "频";
    QTest::newRow("sogou empty") << Engine::Sogou << page(QStringLiteral("没有找到")) << "0";
    QTest::newRow("youdao wan") << Engine::Youdao << QStringLiteral("<p>共约25万条结果</p>") << "25";
    QTest::newRow("youdao commas stay") << Engine::Youdao << QStringLiteral("<p>共约12,345条</p>") << "12,345";
    QTest::newRow("youdao empty") << Engine::Youdao << QStringLiteral("抱歉，没有找到") << "0";
    QTest::newRow("soso") << Engine::Soso << page(QStringLiteral("搜索到约3,456项结果")) << "3456";
    QTest::newRow("soso empty") << Engine::Soso << page(QStringLiteral("抱歉，找不到")) << "0";
    QTest::newRow("nothing") << Engine::Soso << page(QString()) << "X";
}

void TestParsers::counts()
{
    QFETCH(Engine, engine);
    QFETCH(QString, html);
    QFETCH(QString, expected);
    QCOMPARE(scrapeCount(engine, html).value, expected);
}

void TestParsers::failedRequestGivesX()
{
    for (Engine e : {Engine::Baidu, Engine::Google, Engine::Yahoo, Engine::Sogou, Engine::Youdao, Engine::Soso})
        QCOMPARE(scrapeCount(e, QStringLiteral("404")).value, QStringLiteral("X"));
    QCOMPARE(yz::scrapeSnapshotDate(QStringLiteral("404"), QStringLiteral("a.com")).value, QStringLiteral("No"));
    QCOMPARE(yz::scrapePageRank(QStringLiteral("404")).value, QStringLiteral("0"));
    QCOMPARE(yz::scrapeAlexaRank(QStringLiteral("404")).value, QStringLiteral("0"));
    QCOMPARE(yz::scrapeSogouRank(QStringLiteral("404")).value, QStringLiteral("X"));
}

void TestParsers::prefixAnchoringMatchesThePlainPattern_data()
{
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");
    const QString baiduPrefix = QStringLiteral("找到相关网页");
    const QString baidu = QStringLiteral("找到相关网页(约)?([\\s\\S]+?)篇");
    const QString youdao = QStringLiteral("共(约)?([\\s\\S]+?)条");
    const QString google = QStringLiteral("(约|有) <b>([\\s\\S]+?)<\\/b> (个|条)");
    QTest::newRow("no prefix") << baiduPrefix << QStringLiteral("篇") << baidu << QStringLiteral("篇篇篇");
    QTest::newRow("prefix, no suffix") << baiduPrefix << QStringLiteral("篇") << baidu
                                       << QStringLiteral("找到相关网页约12");
    QTest::newRow("suffix only before prefix")
            << baiduPrefix << QStringLiteral("篇") << baidu << QStringLiteral("篇 找到相关网页约12");
    QTest::newRow("suffix right after prefix")
            << baiduPrefix << QStringLiteral("篇") << baidu << QStringLiteral("找到相关网页篇x篇");
    QTest::newRow("约 then suffix at once")
            << baiduPrefix << QStringLiteral("篇") << baidu << QStringLiteral("找到相关网页约篇");
    QTest::newRow("two prefixes, one suffix")
            << baiduPrefix << QStringLiteral("篇") << baidu << QStringLiteral("找到相关网页1 找到相关网页约2篇");
    QTest::newRow("youdao 共 everywhere")
            << QStringLiteral("共") << QStringLiteral("条") << youdao << QStringLiteral("共同 共享 共约3条 共5条");
    QTest::newRow("youdao 共 and nothing")
            << QStringLiteral("共") << QStringLiteral("条") << youdao << QStringLiteral("共同 共享 共");
    QTest::newRow("google later has") << QStringLiteral("(约|有) <b>") << QStringLiteral("</b> ") << google
                                      << QStringLiteral("约 <b>x</b> 有 <b>7</b> 个");
    QTest::newRow("google upper case") << QStringLiteral("(约|有) <b>") << QStringLiteral("</b> ") << google
                                       << QStringLiteral("有 <B>7</B> 条");
    QTest::newRow("google suffix text without its word") << QStringLiteral("(约|有) <b>") << QStringLiteral("</b> ")
                                                         << google << QStringLiteral("约 <b>7</b> 项 有 <b>8</b> 条");
    QTest::newRow("google suffix missing") << QStringLiteral("(约|有) <b>") << QStringLiteral("</b> ") << google
                                           << QStringLiteral("约 <b>7</b>条 约 <b>8");
}

void TestParsers::prefixAnchoringMatchesThePlainPattern()
{
    QFETCH(QString, prefix);
    QFETCH(QString, suffix);
    QFETCH(QString, pattern);
    QFETCH(QString, text);
    const yz::PrefixAnchoredPattern anchored(prefix, suffix, pattern);
    const QRegularExpression plain(pattern, yz::kPageOptions);
    const QRegularExpressionMatch a = anchored.match(text);
    const QRegularExpressionMatch b = plain.match(text);
    QCOMPARE(a.hasMatch(), b.hasMatch());
    QCOMPARE(a.capturedStart(), b.capturedStart());
    QCOMPARE(a.capturedTexts(), b.capturedTexts());

    // The same on random mixtures of the pieces.
    QRandomGenerator rng(42);
    const QStringList pieces = {prefix.left(1),        QStringLiteral("找到相关网页"), QStringLiteral("约"),
                                QStringLiteral("篇"),  QStringLiteral("共"),           QStringLiteral("条"),
                                QStringLiteral("<b>"), QStringLiteral("</b> "),        QStringLiteral("个"),
                                QStringLiteral("有 "), QStringLiteral("1,2"),          QStringLiteral("\n")};
    for (int round = 0; round < 300; ++round) {
        QString mix;
        for (int i = 0; i < 12; ++i)
            mix += pieces[rng.bounded(int(pieces.size()))];
        const QRegularExpressionMatch x = anchored.match(mix);
        const QRegularExpressionMatch y = plain.match(mix);
        QCOMPARE(x.hasMatch(), y.hasMatch());
        QCOMPARE(x.capturedTexts(), y.capturedTexts());
    }
}

void TestParsers::snapshotDate_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("expected");
    QTest::newRow("root page line") << "example-site.com" << page(QStringLiteral("example-site.com/ 15K 2010-3-9"))
                                    << "2010-3-9";
    QTest::newRow("only deeper pages") << "example.com" << page(QStringLiteral("example.com/news/1.html 15K 2010-3-9"))
                                       << "No";
    QTest::newRow("longer host matches too")
            << "example.com" << page(QStringLiteral("news.example.com/ 3K 2009-12-1 www.example.com/ 9K 2010-1-2"))
            << "2009-12-1";
    QTest::newRow("dot is literal") << "a.com" << page(QStringLiteral("abcom/ 1K 2010-1-1")) << "No";
}

void TestParsers::snapshotDate()
{
    QFETCH(QString, domain);
    QFETCH(QString, html);
    QFETCH(QString, expected);
    QCOMPARE(yz::scrapeSnapshotDate(html, domain).value, expected);
}

void TestParsers::snapshotDomainIsMatchedLiterally()
{
    // Pattern characters in the domain box must neither break the pattern nor
    // backtrack without end on a large page.
    QString big;
    for (int i = 0; i < 20000; ++i)
        big += QStringLiteral("aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa ");
    for (const QString &typed : {QStringLiteral("(a+)+b"), QStringLiteral("a|"), QStringLiteral("[x"),
                                 QStringLiteral("a*a*a*a*a*a*c"), QStringLiteral("\\")})
        QCOMPARE(yz::scrapeSnapshotDate(big, typed).value, QStringLiteral("No"));
    QCOMPARE(yz::scrapeSnapshotDate(QStringLiteral("x (a+)+b.cn/ 2K 2010-01-05"), QStringLiteral("(a+)+b.cn")).value,
             QStringLiteral("2010-01-05"));
}

void TestParsers::ranks()
{
    QCOMPARE(yz::scrapePageRank(QStringLiteral("Rank_1:1:10\n")).value, QStringLiteral("10"));
    QCOMPARE(yz::scrapePageRank(QStringLiteral("rank_1:1:6")).value, QStringLiteral("6"));
    QCOMPARE(yz::scrapePageRank(QStringLiteral("no rank here")).value, QStringLiteral("0"));
    QCOMPARE(yz::scrapeAlexaRank(page(u"<div class=\"data up\"><img src=\"/i/up.gif\" alt=\"\">1,234,567</a>"_qs))
                     .value,
             QStringLiteral("1234567"));
    QCOMPARE(yz::scrapeAlexaRank(page(u"<div class=\"\"><img src=x> 12 </a>"_qs)).value, QStringLiteral(" 12 "));
    QCOMPARE(yz::scrapeAlexaRank(page(u"<div class=\"data\">1,234</a>"_qs)).value, QStringLiteral("0"));
    QCOMPARE(yz::scrapeSogouRank(page(QStringLiteral("SogouRank:56/100"))).value, QStringLiteral("56"));
    QCOMPARE(yz::scrapeSogouRank(page(QStringLiteral("您是不是想找"))).value, QStringLiteral("0"));
    QCOMPARE(yz::scrapeSogouRank(page(QStringLiteral("搜狗为防止被某些程序恶意搜索抓取页面"))).value,
             QStringLiteral("频"));
    QCOMPARE(yz::scrapeSogouRank(page(QString())).value, QStringLiteral("X"));
}

QTEST_GUILESS_MAIN(TestParsers)
#include "tst_parsers.moc"
