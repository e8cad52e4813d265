// The vendor's services: the version check and the news line at start-up,
// the statistics line and the suggestion dialog.
#include "app/LinkLabel.h"
#include "net/FormEncoding.h"
#include "parsers/StatisticsLine.h"
#include "parsers/StatisticsRules.h"
#include "services/SiteStatistics.h"
#include "services/VendorAnswers.h"
#include "services/VendorChecks.h"
#include "tests/support/FakeServices.h"
#include "tests/support/StoredSettings.h"
#include "tests/support/WindowUnderTest.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <tuple>

using yz::Service;

using yztest::storedSettings;

class TestVendor : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(QDir::setCurrent(m_dir.path())); }
    void init() { QFile::remove(QStringLiteral("setting.dat")); }
    void answers();
    void vendorChecksWithoutAWindow();
    void statisticsLineWithoutAWindow();
    void newerVersionDisablesQueryingForGood();
    void sameOrOlderVersionChangesNothing();
    void newsLine();
    void newsLineStopsEarly();
    void statisticsPages();
    void statisticsLineAtStartUp();
    void unreadableStatisticsPageKeepsTheBoxUsable();
    void suggestionEncoding_data();
    void suggestionEncoding();
    void suggestionDialog();

private:
    QTemporaryDir m_dir;
};

void TestVendor::answers()
{
    QCOMPARE(yz::parseVersionAnswer(QStringLiteral("200912231\r\n")), std::optional<qint32>(200912231));
    QVERIFY(!yz::parseVersionAnswer(QStringLiteral("<html>")));
    QVERIFY(!yz::parseVersionAnswer(QStringLiteral("99999999999")));
    QVERIFY(!yz::parseNewsAnswer(QString()));
    const auto one = yz::parseNewsAnswer(QStringLiteral("T[L|G]http://a"));
    QCOMPARE(one->titles, QStringList{QStringLiteral("T")});
    QVERIFY(one->layOut);
    const auto broken = yz::parseNewsAnswer(QStringLiteral("A[L|G]u1{L|G}B{L|G}C[L|G]u3"));
    QCOMPARE(broken->titles, (QStringList{"A", "B"}));
    QCOMPARE(broken->links, (QStringList{"u1", "", ""}));
    QVERIFY(!broken->layOut);
    QString many;
    for (int i = 0; i < 8; ++i)
        many += QStringLiteral("t%1[L|G]u%1{L|G}").arg(i);
    many.chop(5);
    const auto seven = yz::parseNewsAnswer(many);
    QCOMPARE(seven->titles.size(), 6);
    QCOMPARE(seven->links.size(), 8);
    QCOMPARE(seven->links[5], QStringLiteral("u5"));
    QCOMPARE(seven->links[6], QString());
    QVERIFY(!seven->layOut);
    // What the service sends reads back as it was written.
    const QString sent = yz::newsAnswerText({{QStringLiteral("新版"), QStringLiteral("http://a/1")},
                                             {QStringLiteral("技巧"), QStringLiteral("http://a/2")}});
    QCOMPARE(sent, QStringLiteral("新版[L|G]http://a/1{L|G}技巧[L|G]http://a/2"));
    const auto read = yz::parseNewsAnswer(sent);
    QCOMPARE(read->titles, (QStringList{QStringLiteral("新版"), QStringLiteral("技巧")}));
    QCOMPARE(read->links, (QStringList{QStringLiteral("http://a/1"), QStringLiteral("http://a/2")}));
}

void TestVendor::vendorChecksWithoutAWindow()
{
    yz::PageFetcher fetcher;
    const yz::ServiceHosts hosts;
    yz::VendorChecks checks(fetcher, hosts, 200912230);
    QSignalSpy newer(&checks, &yz::VendorChecks::newerVersion);
    QSignalSpy news(&checks, &yz::VendorChecks::news);
    // Only a version above ours counts; a failed request's status is no version.
    for (const char *answer : {"200912230", "200912229", "x", "", "99999999999"})
        fetcher.handlers().deliver(QStringLiteral("checkVer"), yz::PageAnswer::page(QString::fromLatin1(answer)));
    fetcher.handlers().deliver(QStringLiteral("checkVer"), yz::PageAnswer::failed(404));
    QCOMPARE(newer.size(), 0);
    fetcher.handlers().deliver(QStringLiteral("checkVer"), yz::PageAnswer::page(QStringLiteral(" 200912231\r\n")));
    QCOMPARE(newer.size(), 1);
    QCOMPARE(newer[0][0].toInt(), 200912231);
    fetcher.handlers().deliver(QStringLiteral("showNews"), yz::PageAnswer::failed(500));
    fetcher.handlers().deliver(QStringLiteral("showNews"), yz::PageAnswer::page(QString()));
    QCOMPARE(news.size(), 0);
    fetcher.handlers().deliver(QStringLiteral("showNews"),
                               yz::PageAnswer::page(QStringLiteral("A[L|G]http://a{L|G}B[L|G]http://b")));
    QCOMPARE(news.size(), 1);
    QCOMPARE(news[0][0].value<yz::NewsAnswer>().links, (QStringList{"http://a", "http://b"}));
}

void TestVendor::statisticsLineWithoutAWindow()
{
    yz::PageFetcher fetcher;
    yztest::FakeServices services;
    yz::StatisticsLine line(fetcher, services.hosts());
    QSignalSpy lines(&line, &yz::StatisticsLine::line);
    QSignalSpy failures(&line, &yz::StatisticsLine::failed);
    line.invokeTongji(yz::StatisticsProvider::La51, QStringLiteral("5"), QStringLiteral("a&b"));
    QCOMPARE(lines.value(0).value(0).toString(), QStringLiteral("正在加载统计..."));
    QCOMPARE(line.loginUrl(),
             services.hosts().base(Service::La51) + QStringLiteral("/report/0_help.asp?id=5&t=chalogin&lookpass=a&b"));
    // An unknown provider keeps the last address and reads the page as 51LA.
    line.invokeTongji(std::nullopt, QStringLiteral("9"), QStringLiteral("q"));
    QCOMPARE(line.loginUrl(),
             services.hosts().base(Service::La51) + QStringLiteral("/report/0_help.asp?id=5&t=chalogin&lookpass=a&b"));
    lines.clear();
    line.Tongji(1, QStringLiteral("503"));
    line.Tongji(0, QStringLiteral("错误或无效的密码"));
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0][0].toString(), QStringLiteral("下载统计内容错误503"));
    QCOMPARE(lines[1][0].toString(), QStringLiteral("查看密码错误"));
    QCOMPARE(failures.size(), 0);
    const QString page = QStringLiteral("<td>") + QString(1500, u'y');
    line.invokeTongji(yz::StatisticsProvider::Cnzz, QStringLiteral("1"), QStringLiteral("p"));
    lines.clear();
    line.Tongji(0, page);
    QCOMPARE(failures.size(), 1);
    QVERIFY(failures[0][0].toString().startsWith(
            QStringLiteral("分析统计内容错误CNZZ，请通知support@yanzhou.net<td>")));
    QVERIFY(failures[0][0].toString().endsWith(u'…'));
    QCOMPARE(failures[0][1].toString(), page);
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines[0][0].toString(), QStringLiteral("我的网站统计 今日(IP PV) 昨日(IP PV)"));
    // An address that cannot be requested shows the download error, without a status.
    yz::ServiceHosts broken;
    yz::StatisticsLine nowhere(fetcher, broken);
    QSignalSpy nowhereLines(&nowhere, &yz::StatisticsLine::line);
    nowhere.invokeTongji(std::nullopt, QString(), QString());
    QTRY_COMPARE(nowhereLines.size(), 2);
    QCOMPARE(nowhereLines[1][0].toString(), QStringLiteral("下载统计内容错误"));
}

void TestVendor::newerVersionDisablesQueryingForGood()
{
    yztest::FakeServices services;
    services[Service::Vendor].setScript([](const yztest::RecordedRequest &req) {
        yztest::FakeResponse r;
        if (req.target.startsWith("/yzupdate/"))
            r.body = "200912231";
        return r;
    });
    {
        yztest::WindowUnderTest w(services.hosts());
        w.startUp();
        QTRY_VERIFY_WITH_TIMEOUT(!w.GO->isEnabled(), 10000);
        QVERIFY(w.newVerShow->isVisible());
        QVERIFY(w.GO->toolTip().contains(QStringLiteral("有新版本下载")));
        QCOMPARE(storedSettings(), QByteArray("10001|www.example.com|www.example.com|\r\n"));
        QCOMPARE(services[Service::Vendor].targets(),
                 (QList<QByteArray>{"/yzupdate/?ver=200912230", "/yztool/n/?ver=200912230"}));
        w.close();
    }
    services.clearAll();
    yztest::WindowUnderTest again(services.hosts());
    again.startUp();
    QTRY_COMPARE_WITH_TIMEOUT(again.engine().fetcher().inFlight(), 0, 10000);
    QVERIFY(!again.GO->isEnabled());
    QVERIFY(again.GO->toolTip().contains(QStringLiteral("有新版本下载")));
    QVERIFY(again.newVerShow->isVisible());
    QCOMPARE(services[Service::Vendor].targets(), QList<QByteArray>{"/yztool/n/?ver=200912230"});
}

void TestVendor::sameOrOlderVersionChangesNothing()
{
    for (const QByteArray &answer : {QByteArray("200912230"), QByteArray("200801010"), QByteArray("404"),
                                     QByteArray("v2"), QByteArray(""), QByteArray("99999999999999999999")}) {
        yztest::FakeServices services;
        yztest::FakeResponse r;
        r.body = answer;
        services[Service::Vendor].setResponse(r);
        yztest::WindowUnderTest w(services.hosts());
        w.startUp();
        QTRY_COMPARE_WITH_TIMEOUT(w.engine().fetcher().inFlight(), 0, 10000);
        QVERIFY(w.GO->isEnabled());
        QVERIFY(!w.newVerShow->isVisible());
        QCOMPARE(storedSettings(), QByteArray("10000|www.example.com|www.example.com|\r\n"));
    }
}

void TestVendor::newsLine()
{
    yztest::FakeServices services;
    services[Service::Vendor].setScript([](const yztest::RecordedRequest &req) {
        yztest::FakeResponse r;
        if (req.target.startsWith("/yztool/n/"))
            r.body = QStringEncoder("GB18030").encode(
                    QStringLiteral("站长新闻[L|G]http://news.example.com/1{L|G}第二条[L|G]http://news.example.com/2"));
        ;
        return r;
    });
    yztest::WindowUnderTest w(services.hosts());
    w.startUp();
    QTRY_COMPARE_WITH_TIMEOUT(w.state().newsLinkArr.size(), qsizetype(2), 10000);
    QCOMPARE(w.state().newsLinkArr, (QStringList{"http://news.example.com/1", "http://news.example.com/2"}));
    QCOMPARE(w.AD[0]->text(), QStringLiteral("站长新闻"));
    QCOMPARE(w.AD[1]->text(), QStringLiteral("第二条"));
    QCOMPARE(w.AD[3]->text(), QString());
    const int gap = 13; // 200 twips
    QCOMPARE(w.AD[1]->x(), w.AD[0]->x() + w.AD[0]->width() + gap);
    QCOMPARE(w.AD[2]->x(), w.AD[1]->x() + w.AD[1]->width() + gap);
    QCOMPARE(w.AD[3]->x(), 48);
    QCOMPARE(w.AD[4]->x(), w.AD[3]->x() + w.AD[3]->width() + gap);
}

void TestVendor::newsLineStopsEarly()
{
    // Eight items: six captions, no new layout, links past the sixth empty.
    QString many;
    for (int i = 0; i < 8; ++i)
        many += QStringLiteral("t%1[L|G]http://n.example.com/%1{L|G}").arg(i);
    many.chop(5);
    // An item without its address shows its title and ends the reading.
    const QString broken = QStringLiteral("A[L|G]http://n.example.com/a{L|G}B{L|G}C[L|G]http://n.example.com/c");
    for (const QString &answer : {many, broken}) {
        yztest::FakeServices services;
        yztest::FakeResponse r;
        r.body = answer.toLatin1();
        services[Service::Vendor].setResponse(r);
        yztest::WindowUnderTest w(services.hosts());
        const QList<QPoint> before = {w.AD[1]->pos(), w.AD[2]->pos(), w.AD[4]->pos(), w.AD[5]->pos()};
        w.startUp();
        QTRY_VERIFY_WITH_TIMEOUT(!w.state().newsLinkArr.isEmpty(), 10000);
        QCOMPARE((QList<QPoint>{w.AD[1]->pos(), w.AD[2]->pos(), w.AD[4]->pos(), w.AD[5]->pos()}), before);
        if (answer == many) {
            QCOMPARE(w.AD[5]->text(), QStringLiteral("t5"));
            QCOMPARE(w.state().newsLinkArr.value(5), QStringLiteral("http://n.example.com/5"));
            QCOMPARE(w.state().newsLinkArr.value(6), QString());
        } else {
            QCOMPARE(w.AD[1]->text(), QStringLiteral("B"));
            QCOMPARE(w.AD[2]->text(), QString());
            QCOMPARE(w.state().newsLinkArr, (QStringList{"http://n.example.com/a", "", ""}));
        }
    }
}

void TestVendor::statisticsPages()
{
    using yz::StatisticsProvider;
    using Kind = yz::StatisticsResult::Kind;
    QString cnzz;
    for (int n : {345, 200, 120, 60, 301, 180, 98})
        cnzz += QStringLiteral("<tr><td class=\"num1\"><strong>%1</strong></td></tr>\n").arg(n);
    auto r = yz::scrapeStatistics(StatisticsProvider::Cnzz, cnzz);
    QCOMPARE(int(r.kind), int(Kind::Line));
    QCOMPARE(r.line, QStringLiteral("我的网站统计 今日(120IP 345PV) 昨日(98IP 301PV)"));
    QCOMPARE(int(yz::scrapeStatistics(StatisticsProvider::Cnzz, cnzz.left(cnzz.size() / 2)).kind), int(Kind::TooFew));
    const QString la = QStringLiteral("<tr><td>a</td><td>10 IP</td><td>20 PV</td></tr>"
                                      "<tr><td>b</td><td>120 IP</td><td>345 PV</td></tr>"
                                      "<tr><td>c</td><td>98 IP</td><td>301 PV</td></tr>");
    r = yz::scrapeStatistics(StatisticsProvider::La51, la);
    QCOMPARE(r.line, QStringLiteral("我的网站统计 今日(120IP 345PV) 昨日(98IP 301PV)"));
    QCOMPARE(int(yz::scrapeStatistics(StatisticsProvider::La51, cnzz).kind), int(Kind::Unrecognised));
    QCOMPARE(yz::scrapeStatistics(StatisticsProvider::La51, cnzz).line,
             QStringLiteral("我的网站统计 今日(IP PV) 昨日(IP PV)"));
    QCOMPARE(int(yz::scrapeStatistics(StatisticsProvider::Cnzz, QStringLiteral("<p>密码出错</p>")).kind),
             int(Kind::WrongPassword));
    QCOMPARE(int(yz::scrapeStatistics(StatisticsProvider::La51, QStringLiteral("错误或无效的密码")).kind),
             int(Kind::WrongPassword));
    QVERIFY(!yz::statisticsProvider(QStringLiteral("2")));
}

void TestVendor::statisticsLineAtStartUp()
{
    QVERIFY(yztest::storeSettings("10000|a.com|a.com|0,1234,p&w=1\r\n"));
    yztest::FakeServices services;
    QString cnzz;
    for (int n : {345, 200, 120, 60, 301, 180, 98})
        cnzz += QStringLiteral("<td class=\"num1\"><strong>%1</strong></td>").arg(n);
    yztest::FakeResponse page;
    page.body = cnzz.toLatin1();
    page.delayMs = 100;
    services[Service::Cnzz].setResponse(page);
    yztest::WindowUnderTest w(services.hosts());
    QStringList messages;
    w.messageBox = [&](const QString &t, const QString &m, const QString &) { messages << t + u':' + m; };
    w.startUp();
    QCOMPARE(w.TJ->text(), QStringLiteral("正在加载统计..."));
    QCOMPARE(w.state().tjType, std::optional(yz::StatisticsProvider::Cnzz));
    QTRY_COMPARE_WITH_TIMEOUT(w.TJ->text(), QStringLiteral("我的网站统计 今日(120IP 345PV) 昨日(98IP 301PV)"), 10000);
    QCOMPARE(services[Service::Cnzz].targets(), QList<QByteArray>{"/v1/login.php?t=login&siteid=1234&password=p&w=1"});
    QCOMPARE(w.state().tjURL,
             services.hosts().base(Service::Cnzz) + QStringLiteral("/v1/login.php?t=login&siteid=1234&password=p&w=1"));
    QVERIFY(w.TJ->width() > 100); // sized to its text

    // A failed request and an unreadable page.
    yztest::FakeResponse missing;
    missing.status = 404;
    services[Service::Cnzz].setResponse(missing);
    w.invokeTongji(QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("p"));
    QTRY_COMPARE_WITH_TIMEOUT(w.TJ->text(), QStringLiteral("下载统计内容错误404"), 10000);
    yztest::FakeResponse odd;
    odd.body = "<html>maintenance</html>";
    services[Service::Cnzz].setResponse(odd);
    w.invokeTongji(QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("p"));
    QTRY_COMPARE_WITH_TIMEOUT(w.TJ->text(), QStringLiteral("我的网站统计 今日(IP PV) 昨日(IP PV)"), 10000);
    QCOMPARE(messages,
             QStringList{
                     QStringLiteral("提示:分析统计内容错误CNZZ，请通知support@yanzhou.net<html>maintenance</html>")});
}

void TestVendor::unreadableStatisticsPageKeepsTheBoxUsable()
{
    yztest::FakeServices services;
    const QString page = QStringLiteral("<html>") + QString(100000, u'x') + QStringLiteral("</html>");
    yztest::FakeResponse odd;
    odd.body = page.toLatin1();
    services[Service::La51].setResponse(odd);
    yztest::WindowUnderTest w(services.hosts());
    // The window's own box: accept it as soon as it is up, after reading it.
    QString text, details;
    QTimer closer;
    connect(&closer, &QTimer::timeout, &closer, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            text = box->text();
            details = box->detailedText();
            box->accept();
        }
    });
    closer.start(20);
    w.invokeTongji(QStringLiteral("1"), QStringLiteral("7"), QStringLiteral("p"));
    QTRY_COMPARE_WITH_TIMEOUT(w.TJ->text(), QStringLiteral("我的网站统计 今日(IP PV) 昨日(IP PV)"), 10000);
    const QString head = QStringLiteral("分析统计内容错误51LA，请通知support@yanzhou.net<html>");
    QVERIFY(text.startsWith(head));
    QVERIFY(text.size() < 2000);
    QCOMPARE(details, page);
}

void TestVendor::suggestionEncoding_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("encoded");
    QTest::newRow("words") << "Need PR query 2.0!"
                           << "Need+PR+query+2.0%21";
    QTest::newRow("form characters") << "a&b=c"
                                     << "a%26b%3Dc";
    QTest::newRow("tilde") << "~"
                           << "%7E";
    QTest::newRow("kept") << "1.5-2_3@4*"
                          << "1.5-2_3@4*";
    QTest::newRow("chinese") << "中"
                             << "%D6%D0";
    QTest::newRow("line break and tab") << "a\r\n\tb"
                                        << "a%0D%0A%09b";
    QTest::newRow("full-width letter") << "Ａ"
                                       << "%A3%C1";
    QTest::newRow("not in GBK") << QString::fromUtf16(u"\U0001F600x") << "%3Fx";
    QTest::newRow("euro") << "€"
                          << "%80";
    QTest::newRow("empty") << ""
                           << "";
}

void TestVendor::suggestionEncoding()
{
    QFETCH(QString, text);
    QFETCH(QString, encoded);
    QCOMPARE(yz::urlencode(text), encoded);
}

void TestVendor::suggestionDialog()
{
    yztest::FakeServices services;
    yztest::WindowUnderTest w(services.hosts());
    QStringList messages;
    w.messageBox = [&](const QString &t, const QString &m, const QString &) { messages << t + u':' + m; };
    w.startUp();
    QTRY_COMPARE_WITH_TIMEOUT(w.engine().fetcher().inFlight(), 0, 10000);
    services.clearAll();
    QTest::mouseClick(w.Label1, Qt::LeftButton);
    QVERIFY(w.suggestionDialog() && w.suggestionDialog()->isVisible());
    yztest::SuggestionDialogUnderTest dialog(w.suggestionDialog());
    QCOMPARE(dialog.form->windowTitle(), QStringLiteral("建议意见"));
    QTest::mouseClick(w.Label1, Qt::LeftButton);
    QCOMPARE(w.suggestionDialog(), dialog.form); // not duplicated
    QCOMPARE(w.findChildren<Form3 *>().size(), 1);
    QCOMPARE(dialog.Text1->font().families(), w.font().families());
    dialog.Text1->setPlainText(QString(40000, u'a'));
    QCOMPARE(dialog.Text1->toPlainText().size(), qsizetype(Form3::kMaxLength));
    dialog.Text1->setPlainText(QStringLiteral("需要 PR\n谢谢"));
    QTest::mouseClick(dialog.Command1, Qt::LeftButton);
    QTRY_VERIFY(!w.suggestionDialog());
    QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 1, 10000);
    QCOMPARE(messages[0], QStringLiteral("提示:您的建议已经提交成功，我会总结所有建议意见对功能进行更新，谢谢。"));
    const yztest::RecordedRequest req = services[Service::Vendor].requests().value(0);
    QCOMPARE(req.method, QByteArray("POST"));
    QCOMPARE(req.target, QByteArray("/yztool/a/"));
    QCOMPARE(req.header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
    QCOMPARE(req.body, QByteArray("c=%D0%E8%D2%AA+PR%0D%0A%D0%BB%D0%BB"));

    // A failed request is not thanked: the box gives the status, and the
    // dialog comes back with the text to send again.
    yztest::FakeResponse cut;
    cut.fault = yztest::FakeResponse::Fault::CloseAtOnce;
    services[Service::Vendor].setResponse(cut);
    QTest::mouseClick(w.Label1, Qt::LeftButton);
    yztest::SuggestionDialogUnderTest again(w.suggestionDialog());
    again.Text1->setPlainText(QStringLiteral("再试\n一次"));
    QTest::mouseClick(again.Command1, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 2, 10000);
    QCOMPARE(messages[1], QStringLiteral("提示:建议未能提交（状态 12030），请稍后再试。您的建议已保留在建议框中。"));
    QVERIFY(w.suggestionDialog() && w.suggestionDialog()->isVisible());
    QCOMPARE(yztest::SuggestionDialogUnderTest(w.suggestionDialog()).Text1->toPlainText(),
             QStringLiteral("再试\n一次"));
    // An answer other than 200 counts as a failure too.
    yztest::FakeResponse missing;
    missing.status = 404;
    services[Service::Vendor].setResponse(missing);
    QTest::mouseClick(yztest::SuggestionDialogUnderTest(w.suggestionDialog()).Command1, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 3, 10000);
    QCOMPARE(messages[2], QStringLiteral("提示:建议未能提交（状态 404），请稍后再试。您的建议已保留在建议框中。"));
    // A vendor address that cannot be requested has no status to give.
    w.engine().hosts().setBase(Service::Vendor, QStringLiteral("http://"));
    QTest::mouseClick(yztest::SuggestionDialogUnderTest(w.suggestionDialog()).Command1, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 4, 10000);
    QCOMPARE(messages[3], QStringLiteral("提示:建议提交失败"));
}

QTEST_MAIN(TestVendor)
#include "tst_vendor.moc"
