// The main window: title, controls and their places, the grids, the cell
// writers and a press of the query button.
#include "app/HistoryDialog.h"
#include "app/LinkLabel.h"
#include "app/Translations.h"
#include "app/WindowPlacement.h"
#include "results/ResultStore.h"
#include "tests/support/FakeServices.h"
#include "tests/support/SamplePages.h"
#include "tests/support/StoredSettings.h"
#include "tests/support/WindowUnderTest.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using yz::Service;

namespace {

QRect px(int l, int t, int w, int h)
{
    return QRect((l + 7) / 15, (t + 7) / 15, (w + 7) / 15, (h + 7) / 15);
}

QStringList gridTexts(const QTableWidget *grid)
{
    QStringList texts;
    for (int r = 0; r < grid->rowCount(); ++r)
        for (int c = 0; c < grid->columnCount(); ++c)
            texts << grid->item(r, c)->text();
    return texts;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void titleAndSize();
    void controlsAtTheirPlaces_data();
    void controlsAtTheirPlaces();
    void hiddenControlsAndTabOrder();
    void gridsHaveTheirHeadings();
    void gridColumnsAndNoScrolling();
    void centring();
    void cellWritersTakeTheColumnFirst();
    void pressWritesWaitingValuesAndSends();
    void pressesAreRemembered();
    void unansweredCellsAreStoredAsFailures();
    void greyedBoxDoesNotCount();
    void firstStartCreatesTheDefaultRecord();
    void storedRecordIsRestored();
    void shutDownStoresTheWindowsState();
    void domainInformationGroup();
    void domainInformationWithABadDomain();
    void keyboard();
    void qtTextsInChinese();

private:
    QTemporaryDir m_dir;
};

void TestMainWindow::initTestCase()
{
    // The settings file lives in the current directory.
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
}

void TestMainWindow::init()
{
    QFile::remove(QStringLiteral("setting.dat"));
}

using yztest::storedSettings;

void TestMainWindow::titleAndSize()
{
    yztest::FakeServices services;
    yztest::WindowUnderTest w(services.hosts());
    w.startUp();
    QCOMPARE(w.windowTitle(), QStringLiteral(" 砚舟站长工具 V200912230"));
    QCOMPARE(w.size(), QSize(537, 370));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QVERIFY(!w.windowIcon().isNull());
}

void TestMainWindow::controlsAtTheirPlaces_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("dm") << "dm"
                        << "www.example.com" << px(2160, 360, 2895, 375);
    QTest::newRow("Text1") << "Text1"
                           << "http://" << px(1250, 360, 920, 375);
    QTest::newRow("showdms") << "showdms"
                             << "▼" << px(5040, 360, 375, 375);
    QTest::newRow("GO") << "GO"
                        << "查询" << px(5400, 360, 855, 375);
    QTest::newRow("List1") << "List1"
                           << "" << px(2160, 720, 2895, 210);
    QTest::newRow("Check1") << "Check1"
                            << "常用查询" << px(840, 960, 1095, 255);
    QTest::newRow("Check4") << "Check4"
                            << "域名信息" << px(2280, 960, 1095, 255);
    QTest::newRow("tb1") << "tb1"
                         << "" << px(840, 1320, 6375, 735);
    QTest::newRow("Check2") << "Check2"
                            << "排名查询" << px(720, 2160, 1095, 255);
    QTest::newRow("tb2") << "tb2"
                         << "" << px(720, 2520, 4575, 615);
    QTest::newRow("Picture1") << "Picture1"
                              << "" << px(4920, 2400, 2475, 1455);
    QTest::newRow("Check3") << "Check3"
                            << "近期收录" << px(720, 3120, 1095, 255);
    QTest::newRow("tb3") << "tb3"
                         << "" << px(720, 3480, 3975, 735);
    QTest::newRow("trendGo") << "trendGo"
                             << "百度收录趋势" << px(5040, 3960, 1455, 255); // as wide as its caption
    QTest::newRow("Picture2") << "Picture2"
                              << "" << px(4560, 3600, 15, 15);
    // Links: the place is fixed, the height may grow to show the underline.
    QTest::newRow("dmset") << "dmset"
                           << "设置" << px(6330, 525, 495, 180);
    QTest::newRow("newVerShow") << "newVerShow"
                                << "有新版本下载" << px(6840, 120, 1095, 255);
    QTest::newRow("dminfo") << "dminfo"
                            << "" << px(3390, 990, 2200, 180);
    QTest::newRow("dminfo2") << "dminfo2"
                             << "" << px(5640, 1010, 555, 180);
    QTest::newRow("dminfo3") << "dminfo3"
                             << "" << px(6240, 990, 1095, 180);
    QTest::newRow("djym") << "djym"
                          << "(登记域名)" << px(6525, 3990, 975, 255); // after 百度收录趋势
    QTest::newRow("TJ") << "TJ"
                        << "" << px(720, 4335, 90, 180);
    QTest::newRow("AD_4") << "AD_4"
                          << "" << px(840, 5040, 90, 180);
    QTest::newRow("Label1") << "Label1"
                            << "建议" << px(6840, 5280, 375, 180);
    QTest::newRow("copyright") << "copyright"
                               << "砚舟网" << px(7320, 5280, 615, 180);
}

void TestMainWindow::controlsAtTheirPlaces()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QRect, geometry);
    yztest::FakeServices services;
    yztest::WindowUnderTest w(services.hosts());
    w.startUp();
    auto *control = w.findChild<QWidget *>(name);
    QVERIFY2(control, qPrintable(name));
    if (qobject_cast<LinkLabel *>(control)) {
        QCOMPARE(control->pos(), geometry.topLeft());
        QCOMPARE(control->width(), geometry.width());
        QVERIFY(control->height() >= geometry.height());
    } else {
        QCOMPARE(control->geometry(), geometry);
    }
    QString shown;
    if (auto *edit = qobject_cast<QLineEdit *>(control))
        shown = edit->text();
    else if (auto *button = qobject_cast<QAbstractButton *>(control))
        shown = button->text();
    else if (auto *label = qobject_cast<QLabel *>(control))
        shown = label->text();
    QCOMPARE(shown, text);
}

void TestMainWindow::hiddenControlsAndTabOrder()
{
    yztest::FakeServices services;
    yztest::WindowUnderTest w(services.hosts());
    w.startUp();
    QVERIFY(w.isVisible());
    QVERIFY(!w.List1->isVisible());
    QVERIFY(!w.newVerShow->isVisible());
    QVERIFY(!w.Picture2->isVisible());
    QVERIFY(w.dmset->isVisible());
    QCOMPARE(w.dm->nextInFocusChain(), static_cast<QWidget *>(w.GO));
    QVERIFY(w.dmset->font().underline());
    QVERIFY(!w.dminfo2->font().underline());
    QCOMPARE(w.dm->font().pointSizeF(), 12.0);
    QCOMPARE(w.GO->font().pointSizeF(), 10.5);
    QVERIFY(!w.dm->accessibleName().isEmpty());
    QVERIFY(!w.tb1->accessibleName().isEmpty());
    QVERIFY(!w.Picture1->accessibleName().isEmpty());
    QCOMPARE(w.waitingPicture().size(), QSize(158, 93));
    QCOMPARE(w.Picture2->pixmap().size(), QSize(158, 93));
    // Controls without a font of their own share the window's 9-point face.
    QCOMPARE(w.Check1->font().families(), w.dmset->font().families());
    QCOMPARE(w.Check1->font().pointSizeF(), 9.0);
    // Starting the family list at its first installed entry picks the face Qt
    // would pick from the whole list, "宋体" first.
    QFont wholeList;
    wholeList.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                           QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Noto Sans CJK SC"),
                           QStringLiteral("Noto Serif CJK SC"), QStringLiteral("AR PL UMing CN")});
    wholeList.setPointSizeF(12);
    QCOMPARE(QFontInfo(w.dm->font()).family(), QFontInfo(wholeList).family());
    QVERIFY(QFontDatabase::writingSystems(QFontInfo(w.dm->font()).family()).contains(QFontDatabase::SimplifiedChinese));
}

void TestMainWindow::gridsHaveTheirHeadings()
{
    yztest::FakeServices services;
    yztest::WindowUnderTest w(services.hosts());
    w.startUp();
    QCOMPARE(gridTexts(w.tb1),
             (QStringList{"", "Baidu", "Google", "Yahoo", "Sogou", "Youdao", "Soso", "收录", "", "", "",
                          "", "",      "",       "外链",  "",      "",       "",     "",     "", ""}));
    QCOMPARE(gridTexts(w.tb2), (QStringList{"", "百度快照", "PR", "Alexa", "SogouRank", "", "", "", "", ""}));
    QCOMPARE(gridTexts(w.tb3),
             (QStringList{"", "一天内", "一周内", "一月内", "Baidu", "", "", "", "Google", "", "", ""}));
    for (const QTableWidget *grid : {w.tb1, w.tb2, w.tb3})
        for (int r = 0; r < grid->rowCount(); ++r)
            for (int c = 0; c < grid->columnCount(); ++c)
                QCOMPARE(grid->item(r, c)->textAlignment(), int(Qt::AlignCenter));
}

void TestMainWindow::gridColumnsAndNoScrolling()
{
    yztest::FakeServices services;
    yztest::WindowUnderTest w(services.hosts());
    w.startUp();
    QVERIFY(w.tb2->isColumnHidden(0) || w.tb2->columnWidth(0) == 0);
    QVERIFY(!w.tb1->isColumnHidden(0));
    QCOMPARE(w.tb2->columnWidth(1), 73);
    QCOMPARE(w.tb2->columnWidth(3), 67);
    QCOMPARE(w.tb3->columnWidth(1), 73);
    QCOMPARE(w.tb3->columnWidth(3), 67);
    for (QTableWidget *grid : {w.tb1, w.tb2, w.tb3}) {
        QVERIFY(!grid->horizontalHeader()->isVisible());
        QVERIFY(!grid->verticalHeader()->isVisible());
        const int lastRow = grid->rowCount() - 1;
        const int lastCol = grid->columnCount() - 1;
        // The bottom-right cell lies wholly inside the viewport: nothing scrolls.
        const QRect cell = grid->visualItemRect(grid->item(lastRow, lastCol));
        QVERIFY2(grid->viewport()->rect().contains(cell), qPrintable(grid->objectName()));
        QVERIFY(cell.height() >= 14);
        QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
    }
}

void TestMainWindow::centring()
{
    QCOMPARE(yz::centredPosition(QSize(1280, 1024), QSize(537, 370)), QPoint(371, 327));
    QCOMPARE(yz::centredPosition(QSize(800, 600), QSize(537, 370)), QPoint(131, 115));
    yztest::FakeServices services;
    yztest::WindowUnderTest w(services.hosts());
    w.move(0, 0);
    w.startUp();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCOMPARE(w.pos(), screen.topLeft() + yz::centredPosition(screen.size(), w.size()));
}

void TestMainWindow::cellWritersTakeTheColumnFirst()
{
    yztest::FakeServices services;
    yztest::WindowUnderTest w(services.hosts());
    w.startUp();
    w.tb1setvalue(6, 2, QStringLiteral("NaN"));
    QCOMPARE(w.tb1->item(2, 6)->text(), QStringLiteral("NaN"));
    w.tb3setvalue(3, 2, QStringLiteral("42"));
    QCOMPARE(w.tb3->item(2, 3)->text(), QStringLiteral("42"));
    QCOMPARE(w.tb3->item(3 - 1, 2)->text(), QString());
    w.tb2setvalue(4, 1, QStringLiteral("7"));
    QCOMPARE(w.tb2->item(1, 4)->text(), QStringLiteral("7"));
    QCOMPARE(w.engine().sheet().cell(yz::Grid::Tb2, 1, 4), QStringLiteral("7"));
    // A cell outside the grid is ignored rather than crashing.
    w.tb1setvalue(9, 9, QStringLiteral("x"));
}

void TestMainWindow::pressWritesWaitingValuesAndSends()
{
    yztest::FakeServices services;
    yztest::WindowUnderTest w(services.hosts());
    w.startUp();
    QTRY_COMPARE_WITH_TIMEOUT(w.engine().fetcher().inFlight(), 0, 10000);
    services.clearAll();
    const int before = w.engine().fetcher().startedCount();
    w.List1->show();
    w.dm->setText(QStringLiteral("bbs.example.com.cn"));
    w.Check1->setChecked(true);
    w.Check2->setChecked(true);
    w.Check3->setChecked(true);
    QTest::mouseClick(w.GO, Qt::LeftButton);

    QVERIFY(!w.List1->isVisible());
    QCOMPARE(w.tb1->item(1, 1)->text(), QStringLiteral("loading"));
    QCOMPARE(w.tb1->item(2, 6)->text(), QStringLiteral("NaN"));
    QCOMPARE(w.tb2->item(1, 2)->text(), QStringLiteral("loading"));
    QCOMPARE(w.tb3->item(2, 3)->text(), QStringLiteral("loading"));
    QCOMPARE(w.engine().fetcher().startedCount() - before, 21);
    QTRY_COMPARE_WITH_TIMEOUT(services.requestCount(), 21, 10000);
    QCOMPARE(services[Service::Soso].targets(), QList<QByteArray>{"/q?pid=s.idx&w=site:bbs.example.com.cn"});
    QTRY_COMPARE_WITH_TIMEOUT(w.engine().fetcher().inFlight(), 0, 10000);
    // Empty pages: the cells show their failure values, the fixed cell stays.
    QCOMPARE(w.tb1->item(1, 1)->text(), QStringLiteral("X"));
    QCOMPARE(w.tb2->item(1, 1)->text(), QStringLiteral("No"));
    QCOMPARE(w.tb1->item(2, 6)->text(), QStringLiteral("NaN"));
}

// Each press's values are kept in the results database the command line
// shares; a cell's tooltip names the value it held before, with its date. A
// database that cannot be written costs a line in the tooltips.
void TestMainWindow::pressesAreRemembered()
{
    const QByteArray savedDataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("remembered")).toUtf8());
    const QString file = yz::defaultResultsFile();
    const auto storedRuns = [&file] {
        yz::ResultStore store(file);
        QString error;
        return store.open(yz::ResultStore::Purpose::Reading, &error)
                ? store.runs(QStringLiteral("www.example.com"), {}, &error).value_or(QList<yz::StoredRun>()).size()
                : 0;
    };
    {
        yztest::FakeServices services;
        yztest::serveSamplePages(services);
        yztest::WindowUnderTest w(services.hosts());
        w.dm->setText(QStringLiteral("HTTP://WWW.Example.com/"));
        w.Check1->setChecked(true);
        QTest::mouseClick(w.GO, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(storedRuns(), 1, 10000);
        QCOMPARE(w.tb1->item(1, 1)->text(), QStringLiteral("1230000"));
        QVERIFY(!w.tb1->item(1, 1)->toolTip().contains(QStringLiteral("上次")));

        services[Service::Baidu].setResponse(yztest::ok(yztest::gbk(QStringLiteral("找到相关网页约1,250,000篇"))));
        QTest::mouseClick(w.GO, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(storedRuns(), 2, 10000);
        QCOMPARE(w.tb1->item(1, 1)->text(), QStringLiteral("1250000"));
        const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
        QVERIFY2(w.tb1->item(1, 1)->toolTip().endsWith(QStringLiteral("\n上次 %1：1,230,000").arg(today)),
                 qPrintable(w.tb1->item(1, 1)->toolTip()));
        // A value that did not change names no earlier one.
        QVERIFY(!w.tb1->item(1, 2)->toolTip().contains(QStringLiteral("上次")));
        QVERIFY(w.tb1->item(1, 2)->toolTip().startsWith(QStringLiteral("已读取")));

        // The same count with the page's separators and blanks is no change.
        services[Service::Baidu].setResponse(yztest::ok(yztest::gbk(QStringLiteral("找到相关网页约 1250,000 篇"))));
        QTest::mouseClick(w.GO, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(storedRuns(), 3, 10000);
        QVERIFY2(!w.tb1->item(1, 1)->toolTip().contains(QStringLiteral("上次")),
                 qPrintable(w.tb1->item(1, 1)->toolTip()));
        // A failure is no value: the cell names the last good one.
        yztest::FakeResponse notFound;
        notFound.status = 404;
        services[Service::Baidu].setResponse(notFound);
        QTest::mouseClick(w.GO, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(storedRuns(), 4, 10000);
        QTRY_VERIFY2(w.tb1->item(1, 1)->toolTip().endsWith(QStringLiteral("\n上次 %1：1,250,000").arg(today)),
                     qPrintable(w.tb1->item(1, 1)->toolTip()));

        // The cell's menu opens the domain's history: a run a row, the
        // metric's chart, the same CSV as the command line's.
        w.openHistory(QStringLiteral("tb1/收录/Baidu"));
        HistoryDialog *dialog = w.findChild<HistoryDialog *>();
        QVERIFY(dialog);
        auto *runs = dialog->findChild<QTableWidget *>(QStringLiteral("runs"));
        auto *chart = dialog->findChild<HistoryChart *>(QStringLiteral("chart"));
        QTRY_COMPARE_WITH_TIMEOUT(runs->rowCount(), 4, 10000);
        QCOMPARE(runs->horizontalHeaderItem(2)->text(), QStringLiteral("收录/Baidu"));
        QCOMPARE(runs->item(0, 2)->text(), QStringLiteral("X")); // newest first
        QCOMPARE(runs->item(0, 1)->text(), QStringLiteral("窗口"));
        QCOMPARE(runs->item(2, 2)->text(), QStringLiteral("1250000"));
        QVERIFY(runs->item(2, 2)->font().bold()); // changed in that run
        QVERIFY(!runs->item(1, 2)->font().bold());
        QCOMPARE(chart->points().size(), 3); // the failed run has no count
        QCOMPARE(chart->points().last().second, 1250000.0);
        QString error;
        const QString csv = m_dir.filePath(QStringLiteral("history.csv"));
        QVERIFY(dialog->exportTo(csv, &error));
        QFile exported(csv);
        QVERIFY(exported.open(QIODevice::ReadOnly));
        const QByteArray text = exported.readAll();
        QVERIFY(text.startsWith("\xEF\xBB\xBF时间,来源,收录/Baidu,"));
        QCOMPARE(text.count("\r\n"), 5);
        dialog->close();
    }
    {
        // The data directory lies under a plain file: nothing can be kept.
        QFile blocker(m_dir.filePath(QStringLiteral("blocker")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        qputenv("XDG_DATA_HOME", blocker.fileName().toUtf8() + "/data");
        yztest::FakeServices services;
        yztest::serveSamplePages(services);
        yztest::WindowUnderTest w(services.hosts());
        w.dm->setText(QStringLiteral("www.example.com"));
        w.Check1->setChecked(true);
        QTest::mouseClick(w.GO, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(w.tb1->item(1, 1)->toolTip().contains(QStringLiteral("\n结果未能保存：")), 10000);
        QCOMPARE(w.tb1->item(1, 1)->text(), QStringLiteral("1230000"));
    }
    qputenv("XDG_DATA_HOME", savedDataHome);
}

// A press that ends with a value still waiting (a domain whose root cannot
// be found sends no whois request) shows "loading" there as it always has,
// but stores a failure with its reason, never "loading".
void TestMainWindow::unansweredCellsAreStoredAsFailures()
{
    const QByteArray savedDataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("unanswered")).toUtf8());
    yztest::FakeServices services;
    yztest::serveSamplePages(services);
    yztest::WindowUnderTest w(services.hosts());
    w.messageBox = [](const QString &, const QString &, const QString &) {};
    w.dm->setText(QStringLiteral("中文网站.中国"));
    w.Check4->setChecked(true);
    QSignalSpy ended(&w.engine(), &yz::QueryEngine::pressEnded);
    QTest::mouseClick(w.GO, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 10000);
    QCOMPARE(w.dminfo->text(), QStringLiteral("loading"));
    const auto record = ended.first().first().value<yz::PressRecord>();
    QCOMPARE(record.info[size_t(yz::InfoText::WhoisDates)], QString());
    QCOMPARE(record.infoStatuses[size_t(yz::InfoText::WhoisDates)].cause, yz::CellStatus::Cause::Failed);
    std::optional<QList<yz::StoredRun>> runs;
    QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                 yz::ResultStore store(yz::defaultResultsFile());
                                 QString error;
                                 runs = store.open(yz::ResultStore::Purpose::Reading, &error)
                                         ? store.runs(QStringLiteral("xn--fiq228c37oz8d.xn--fiqs8s"), {}, &error)
                                         : std::nullopt;
                                 return runs && runs->size() == 1;
                             }()),
                             10000);
    const yz::StoredCell *whois = runs->first().cell(QStringLiteral("dminfo"));
    QVERIFY(whois);
    QCOMPARE(whois->value, QString());
    QCOMPARE(whois->status, QStringLiteral("failed"));
    QCOMPARE(runs->first().groups.names(), QStringLiteral("info"));
    qputenv("XDG_DATA_HOME", savedDataHome);
}

void TestMainWindow::greyedBoxDoesNotCount()
{
    yztest::FakeServices services;
    yztest::WindowUnderTest w(services.hosts());
    w.startUp();
    const int before = w.engine().fetcher().startedCount();
    w.Check1->setTristate(true);
    w.Check1->setCheckState(Qt::PartiallyChecked);
    w.Check3->setChecked(true);
    QTest::mouseClick(w.GO, Qt::LeftButton);
    QCOMPARE(w.engine().fetcher().startedCount() - before, 6);
    QCOMPARE(w.tb1->item(1, 1)->text(), QString());
    QCOMPARE(w.tb3->item(1, 1)->text(), QStringLiteral("loading"));
}

void TestMainWindow::firstStartCreatesTheDefaultRecord()
{
    yztest::FakeServices services;
    yztest::WindowUnderTest w(services.hosts());
    w.startUp();
    QCOMPARE(storedSettings(), QByteArray("10000|www.example.com|www.example.com|\r\n"));
    QVERIFY(w.Check1->isChecked());
    QVERIFY(!w.Check2->isChecked() && !w.Check3->isChecked() && !w.trendGo->isChecked() && !w.Check4->isChecked());
    QCOMPARE(w.dm->text(), QStringLiteral("www.example.com"));
    QCOMPARE(w.List1->count(), 1);
    QCOMPARE(w.List1->height(), 14);
    QVERIFY(!w.List1->isVisible());
    QVERIFY(w.GO->isEnabled());
}

void TestMainWindow::storedRecordIsRestored()
{
    QVERIFY(yztest::storeSettings("01111|bbs.example.cn|a.com,,b.com|0,123,pw\r\n"));
    yztest::FakeServices services;
    yztest::WindowUnderTest w(services.hosts());
    w.startUp();
    QVERIFY(!w.Check1->isChecked());
    QVERIFY(w.Check2->isChecked() && w.Check3->isChecked() && w.trendGo->isChecked());
    QCOMPARE(w.state().hasNew, true);
    QVERIFY(!w.GO->isEnabled());
    QVERIFY(w.newVerShow->isVisible());
    QCOMPARE(w.dm->text(), QStringLiteral("bbs.example.cn"));
    QCOMPARE(w.state().dms_arr, (QStringList{"a.com", "", "b.com"}));
    QCOMPARE(w.List1->count(), 2); // the empty element is not listed ...
    QCOMPARE(w.List1->height(), 42); // ... but counts for the height
    QCOMPARE(w.state().tjStr, QStringLiteral("0,123,pw"));
}

void TestMainWindow::shutDownStoresTheWindowsState()
{
    QVERIFY(yztest::storeSettings("10000|x.com|x.com,y.com|1,7,a\r\n"));
    {
        yztest::FakeServices services;
        yztest::WindowUnderTest w(services.hosts());
        w.startUp();
        w.Check1->setChecked(false);
        w.Check2->setChecked(true);
        w.dm->setText(QStringLiteral("typed.example.org"));
        w.close();
    }
    QCOMPARE(storedSettings(), QByteArray("01000|typed.example.org|x.com,y.com|1,7,a\r\n"));
    // Read back by the next start, unchanged, however often.
    for (int i = 0; i < 2; ++i) {
        yztest::FakeServices services;
        yztest::WindowUnderTest w(services.hosts());
        w.startUp();
        w.close();
    }
    QCOMPARE(storedSettings(), QByteArray("01000|typed.example.org|x.com,y.com|1,7,a\r\n"));
}

void TestMainWindow::domainInformationGroup()
{
    yztest::FakeServices services;
    yztest::FakeResponse whois;
    whois.body = "Domain Name: EXAMPLE.COM.CN\nRegistration Date: 2003-03-17 12:20\nExpiration Date: 2012-03-17\n";
    whois.delayMs = 100;
    services[Service::Whois].setResponse(whois);
    yztest::FakeResponse archive;
    archive.body = "<html><a href=\"/web/20040305/x\">Mar 05, 2004</a></html>";
    archive.delayMs = 100;
    services[Service::Archive].setResponse(archive);
    yztest::WindowUnderTest w(services.hosts());
    QStringList messages;
    w.messageBox = [&](const QString &title, const QString &text, const QString &) { messages << title + u':' + text; };
    w.startUp();
    const int before = w.engine().fetcher().startedCount();
    w.Check1->setChecked(false);
    w.Check4->setChecked(true);
    w.dm->setText(QStringLiteral("bbs.example.com.cn"));
    QTest::mouseClick(w.GO, Qt::LeftButton);
    QCOMPARE(w.dminfo->text(), QStringLiteral("loading"));
    QCOMPARE(w.dminfo2->text(), QString());
    QCOMPARE(w.dminfo3->text(), QStringLiteral("loading"));
    QCOMPARE(w.state().finalDomain, QStringLiteral("example.com.cn"));
    QTRY_COMPARE_WITH_TIMEOUT(w.engine().fetcher().inFlight(), 0, 10000);
    QCOMPARE(services[Service::Whois].targets(), QList<QByteArray>{"/cgi-bin/whois?domain=example.com.cn"});
    QCOMPARE(services[Service::Archive].targets(), QList<QByteArray>{"/web/*/http://bbs.example.com.cn"});
    QCOMPARE(w.dminfo->text(), QStringLiteral("2003-03-17至2012-03-17"));
    QCOMPARE(w.dminfo2->text(), QStringLiteral("建站于"));
    QCOMPARE(w.dminfo3->text(), QStringLiteral("2004-03-05"));
    QVERIFY(messages.isEmpty());
    QCOMPARE(w.engine().fetcher().startedCount() - before, 2); // Check4 alone
}

void TestMainWindow::domainInformationWithABadDomain()
{
    yztest::FakeServices services;
    yztest::FakeResponse missing;
    missing.status = 404;
    services[Service::Archive].setResponse(missing);
    yztest::WindowUnderTest w(services.hosts());
    QStringList messages;
    w.messageBox = [&](const QString &title, const QString &text, const QString &) { messages << title + u':' + text; };
    w.startUp();
    w.Check1->setChecked(false);
    w.Check4->setChecked(true);
    w.dm->setText(QStringLiteral("kept.com"));
    QVERIFY(w.findRootDomain());
    for (const QString &bad : {QString(), QStringLiteral("192.168.1.1")}) {
        w.dm->setText(bad);
        QTest::mouseClick(w.GO, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(w.engine().fetcher().inFlight(), 0, 10000);
        QCOMPARE(w.dminfo->text(), QStringLiteral("loading")); // no whois request to answer it
        QCOMPARE(w.dminfo3->text(), QStringLiteral("Unknown"));
    }
    QCOMPARE(messages, (QStringList{"砚舟提示:错误的域名格式1", "砚舟提示:错误的域名格式1"}));
    QVERIFY(services[Service::Whois].requests().isEmpty());
    QCOMPARE(services[Service::Archive].targets(), (QList<QByteArray>{"/web/*/http://", "/web/*/http://192.168.1.1"}));
    QCOMPARE(w.state().finalDomain, QStringLiteral("kept.com"));
}

void TestMainWindow::keyboard()
{
    QVERIFY(yztest::storeSettings("10000|x.com|alpha.com,beta.com|\r\n"));
    yztest::FakeServices services;
    yztest::WindowUnderTest w(services.hosts());
    w.startUp();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(w.dm->toolTip().contains(QStringLiteral("http://")));
    QTRY_COMPARE_WITH_TIMEOUT(w.engine().fetcher().inFlight(), 0, 10000);
    w.Check1->setChecked(true);
    // Enter in the domain box presses 查询.
    const int before = w.engine().fetcher().startedCount();
    w.dm->setFocus();
    QTest::keyClick(w.dm, Qt::Key_Return);
    QVERIFY(w.engine().fetcher().startedCount() > before);
    // Typing a prefix shows the list; Down moves into it, Enter takes the entry.
    w.dm->setText(QStringLiteral("b"));
    QVERIFY(w.List1->isVisible());
    QTest::keyClick(w.dm, Qt::Key_Down);
    QVERIFY(w.List1->hasFocus());
    QTest::keyClick(w.List1, Qt::Key_Down);
    QTest::keyClick(w.List1, Qt::Key_Return);
    QCOMPARE(w.dm->text(), QStringLiteral("beta.com"));
    QVERIFY(!w.List1->isVisible());
    QVERIFY(w.dm->hasFocus());
    // Escape hides the list, from the box and from the list.
    QTest::mouseClick(w.showdms, Qt::LeftButton);
    QVERIFY(w.List1->isVisible());
    QTest::keyClick(w.dm, Qt::Key_Escape);
    QVERIFY(!w.List1->isVisible());
    QTest::mouseClick(w.showdms, Qt::LeftButton);
    QTest::keyClick(w.dm, Qt::Key_Down);
    QTest::keyClick(w.List1, Qt::Key_Escape);
    QVERIFY(!w.List1->isVisible());
    QCOMPARE(w.dm->text(), QStringLiteral("beta.com"));
    // With 查询 disabled, Enter sends nothing.
    QTRY_COMPARE_WITH_TIMEOUT(w.engine().fetcher().inFlight(), 0, 10000);
    w.GO->setEnabled(false);
    const int disabled = w.engine().fetcher().startedCount();
    QTest::keyClick(w.dm, Qt::Key_Return);
    QCOMPARE(w.engine().fetcher().startedCount(), disabled);
}

void TestMainWindow::qtTextsInChinese()
{
    QVERIFY(yz::installQtChinese(*QCoreApplication::instance()));
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("提示"), QStringLiteral("x"), QMessageBox::Ok);
    QCOMPARE(box.button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
