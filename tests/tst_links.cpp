// The domain box with its frequent-domain list, the click-through from result
// cells, and the link labels: what would be handed to the browser.
#include "app/LinkLabel.h"
#include "services/OpenableLink.h"
#include "tests/support/FakeServices.h"
#include "tests/support/StoredSettings.h"
#include "tests/support/WindowUnderTest.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Records what would be opened in the browser.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl &url) { opened << url; }
};

class TestLinks : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void prefixTestShowsAndHidesTheList();
    void takingAnEntryAndTheToggle();
    void everyResultCellOpensItsPage_data();
    void everyResultCellOpensItsPage();
    void clickThroughUsesTheCurrentDomain();
    void labelsOpenTheirPages();
    void onlyWebAddressesAreOpened();

private:
    void start(yztest::WindowUnderTest &w, const QByteArray &record);
    QUrl lastOpened() const { return m_urls.opened.value(m_urls.opened.size() - 1); }
    void clickCell(QTableWidget *grid, int row, int col);

    QTemporaryDir m_dir;
    UrlRecorder m_urls;
};

void TestLinks::initTestCase()
{
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_urls, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_urls, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_urls, "open");
}

void TestLinks::cleanupTestCase()
{
    for (const char *scheme : {"http", "https", "file"})
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
}

void TestLinks::init()
{
    m_urls.opened.clear();
}

void TestLinks::start(yztest::WindowUnderTest &w, const QByteArray &record)
{
    QVERIFY(yztest::storeSettings(record));
    w.startUp();
}

void TestLinks::clickCell(QTableWidget *grid, int row, int col)
{
    const QRect cell = grid->visualItemRect(grid->item(row, col));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}

void TestLinks::prefixTestShowsAndHidesTheList()
{
    yztest::FakeServices services;
    yztest::WindowUnderTest w(services.hosts());
    start(w, "10000|x|alpha.com,beta.org|\r\n");
    QVERIFY(!w.List1->isVisible());
    w.dm->clear();
    QVERIFY(w.List1->isVisible()); // empty text matches every entry
    QTest::keyClicks(w.dm, QStringLiteral("be"));
    QVERIFY(w.List1->isVisible());
    QTest::keyClicks(w.dm, QStringLiteral("x"));
    QVERIFY(!w.List1->isVisible());
    w.dm->setText(QStringLiteral("beta.org"));
    QVERIFY(w.List1->isVisible());
    w.dm->setText(QStringLiteral("beta.org/"));
    QVERIFY(!w.List1->isVisible());
    w.dm->setText(QStringLiteral("Alpha"));
    QVERIFY(!w.List1->isVisible()); // case matters
    QCOMPARE(w.List1->count(), 2); // never filtered
}

void TestLinks::takingAnEntryAndTheToggle()
{
    yztest::FakeServices services;
    yztest::WindowUnderTest w(services.hosts());
    start(w, "10000|x|alpha.com,beta.org|\r\n");
    QTest::mouseClick(w.showdms, Qt::LeftButton);
    QVERIFY(w.List1->isVisible());
    QTest::mouseClick(w.showdms, Qt::LeftButton);
    QVERIFY(!w.List1->isVisible());
    QTest::mouseClick(w.showdms, Qt::LeftButton);
    QListWidgetItem *second = w.List1->item(1);
    QTest::mouseClick(w.List1->viewport(), Qt::LeftButton, {}, w.List1->visualItemRect(second).center());
    QCOMPARE(w.dm->text(), QStringLiteral("beta.org"));
    QVERIFY(!w.List1->isVisible());
}

void TestLinks::everyResultCellOpensItsPage_data()
{
    QTest::addColumn<QString>("grid");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("service");
    QTest::addColumn<QString>("path");
    using S = yz::Service;
    const struct {
        const char *grid;
        int row, col;
        S service;
        const char *path;
    } cells[] = {
            {"tb1", 1, 1, S::Baidu, "/s?wd=site:D"},
            {"tb1", 2, 1, S::Baidu, "/s?wd=domain:D"},
            {"tb1", 1, 2, S::Google, "/search?q=site:D"},
            {"tb1", 2, 2, S::Google, "/search?q=link:D"},
            {"tb1", 1, 3, S::Yahoo, "/search?p=D"},
            {"tb1", 2, 3, S::Yahoo, "/search?p=D&bwm=i"},
            {"tb1", 1, 4, S::Sogou, "/web?query=site:D"},
            {"tb1", 2, 4, S::Sogou, "/web?query=%22D%22"},
            {"tb1", 1, 5, S::Youdao, "/search?q=site:D"},
            {"tb1", 2, 5, S::Youdao, "/search?q=link:D"},
            {"tb1", 1, 6, S::Soso, "/q?pid=s.idx&w=site:D"},
            {"tb2", 1, 1, S::Baidu, "/s?wd=D"},
            {"tb2", 1, 2, S::Vendor, "/D"},
            {"tb2", 1, 3, S::Alexa, "/siteinfo/D"},
            {"tb2", 1, 4, S::Sogou, "/web?query=http://D"},
            {"tb3", 1, 1, S::Baidu, "/s?q1=&q2=&q3=&q4=&rn=10&lm=1&ct=0&ft=&q5=&q6=D&tn=baiduadv"},
            {"tb3", 1, 2, S::Baidu, "/s?q1=&q2=&q3=&q4=&rn=10&lm=7&ct=0&ft=&q5=&q6=D&tn=baiduadv"},
            {"tb3", 1, 3, S::Baidu, "/s?q1=&q2=&q3=&q4=&rn=10&lm=30&ct=0&ft=&q5=&q6=D&tn=baiduadv"},
            {"tb3", 2, 1, S::Google, "/search?hl=zh-CN&tbo=1&newwindow=1&q=site%3AD&tbs=qdr:d"},
            {"tb3", 2, 2, S::Google, "/search?hl=zh-CN&tbo=1&newwindow=1&q=site%3AD&tbs=qdr:w"},
            {"tb3", 2, 3, S::Google, "/search?hl=zh-CN&tbo=1&newwindow=1&q=site%3AD&tbs=qdr:y"},
    };
    for (const auto &c : cells)
        QTest::addRow("%s(%d,%d)", c.grid, c.row, c.col)
                << QString::fromLatin1(c.grid) << c.row << c.col << int(c.service) << QString::fromLatin1(c.path);
}

void TestLinks::everyResultCellOpensItsPage()
{
    QFETCH(QString, grid);
    QFETCH(int, row);
    QFETCH(int, col);
    QFETCH(int, service);
    QFETCH(QString, path);
    yztest::FakeServices services;
    yztest::WindowUnderTest w(services.hosts());
    start(w, "10000|x|x|\r\n");
    w.dm->setText(QStringLiteral("d.example.cn"));
    clickCell(w.findChild<QTableWidget *>(grid), row, col);
    QCOMPARE(m_urls.opened.size(), 1);
    QCOMPARE(lastOpened().toString(),
             w.engine().hosts().base(yz::Service(service)) + path.replace(u'D', QStringLiteral("d.example.cn")));
}

void TestLinks::clickThroughUsesTheCurrentDomain()
{
    yztest::FakeServices services;
    yztest::WindowUnderTest w(services.hosts());
    start(w, "10000|x|x|\r\n");
    w.dm->setText(QStringLiteral("edited.example.com"));
    const QString baidu = w.engine().hosts().base(yz::Service::Baidu);
    const QString vendor = w.engine().hosts().base(yz::Service::Vendor);
    const QString google = w.engine().hosts().base(yz::Service::Google);
    clickCell(w.tb1, 1, 1);
    QCOMPARE(lastOpened().toString(), baidu + QStringLiteral("/s?wd=site:edited.example.com"));
    clickCell(w.tb2, 1, 2); // PageRank: the vendor's page, not the rank service
    QCOMPARE(lastOpened().toString(), vendor + QStringLiteral("/edited.example.com"));
    clickCell(w.tb3, 2, 3);
    QCOMPARE(lastOpened().toString(),
             google + QStringLiteral("/search?hl=zh-CN&tbo=1&newwindow=1&q=site%3Aedited.example.com&tbs=qdr:y"));
    const int before = int(m_urls.opened.size());
    clickCell(w.tb1, 2, 6); // "NaN": nothing to open
    clickCell(w.tb1, 0, 1); // heading
    QCOMPARE(int(m_urls.opened.size()), before);
}

void TestLinks::labelsOpenTheirPages()
{
    yztest::FakeServices services;
    yztest::WindowUnderTest w(services.hosts());
    start(w, "10000|x|x|\r\n");
    const QString vendor = w.engine().hosts().base(yz::Service::Vendor);
    QTest::mouseClick(w.djym, Qt::LeftButton);
    QCOMPARE(lastOpened().toString(), vendor + QStringLiteral("/adddomain"));
    QTest::mouseClick(w.copyright, Qt::LeftButton);
    QCOMPARE(lastOpened().toString(), vendor);
    QTest::mouseClick(w.newVerShow, Qt::LeftButton);
    QCOMPARE(lastOpened().toString(), vendor + QStringLiteral("/?update"));

    const int before = int(m_urls.opened.size());
    QTest::mouseClick(w.dminfo, Qt::LeftButton); // empty caption: nothing
    QTest::mouseClick(w.AD[0], Qt::LeftButton); // no news yet: nothing
    QCOMPARE(int(m_urls.opened.size()), before);

    w.dminfo->setText(QStringLiteral("loading"));
    w.dm->setText(QStringLiteral("example.com"));
    QVERIFY(w.findRootDomain());
    QTest::mouseClick(w.dminfo, Qt::LeftButton);
    QCOMPARE(lastOpened().toString(),
             w.engine().hosts().base(yz::Service::Whois) + QStringLiteral("/cgi-bin/whois?domain=example.com"));
    w.dminfo3->setText(QStringLiteral("2001-1-1"));
    w.dm->setText(QStringLiteral("bbs.example.com"));
    QTest::mouseClick(w.dminfo3, Qt::LeftButton);
    QCOMPARE(lastOpened().toString(),
             w.engine().hosts().base(yz::Service::Archive) + QStringLiteral("/web/*/http://bbs.example.com"));
    w.engine().handlers().deliver(QStringLiteral("showNews"),
                                  yz::PageAnswer::page(QStringLiteral("N[L|G]http://news.example.com/1")));
    QTest::mouseClick(w.AD[0], Qt::LeftButton);
    QCOMPARE(lastOpened(), QUrl(QStringLiteral("http://news.example.com/1")));
}

void TestLinks::onlyWebAddressesAreOpened()
{
    yztest::FakeServices services;
    yztest::WindowUnderTest w(services.hosts());
    start(w, "10000|x|x|\r\n");
    for (const QString &bad : {QString(), QStringLiteral("file:///etc/passwd"), QStringLiteral("/usr/bin/xterm"),
                               QStringLiteral("javascript:alert(1)"), QStringLiteral("http://")}) {
        w.linkto(bad);
    }
    QTest::mouseClick(w.TJ, Qt::LeftButton); // no login yet: no address
    QVERIFY(m_urls.opened.isEmpty());
    w.invokeTongji(QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("p"));
    QTest::mouseClick(w.TJ, Qt::LeftButton);
    QCOMPARE(m_urls.opened,
             QList<QUrl>{QUrl(w.engine().hosts().base(yz::Service::Cnzz)
                              + QStringLiteral("/v1/login.php?t=login&siteid=1&password=p"))});
}

QTEST_MAIN(TestLinks)
#include "tst_links.moc"
