// Fault injection through the real window with every group ticked: broken,
// silent, huge and hostile answers, floods of answers, damaged settings
// files. After each the window must still hold only values a failed or
// unreadable answer can give, with nothing left waiting that should not be.
#include "app/LinkLabel.h"
#include "settings/SettingsRecord.h"
#include "tests/support/FakeServices.h"
#include "tests/support/SamplePages.h"
#include "tests/support/StoredSettings.h"
#include "tests/support/WindowUnderTest.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using yz::Service;

Q_DECLARE_METATYPE(yztest::FakeResponse)

namespace {

// What a cell may show after an answer without any of its markers: the
// failure values, the fixed NaN, and the numbers of the refusal pages.
const QStringList kFailureValues = {"X", "0", "频", "NaN", "No"};

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

// A record the next start reads back to the same state: UTF-8, four
// fields, digit flags for the check boxes, one line ending.
bool isValidRecord(const QByteArray &bytes)
{
    const QString text = QString::fromUtf8(bytes);
    static const QRegularExpression flags(QStringLiteral("^[01]{3}[0-9]"));
    return text.toUtf8() == bytes && text.endsWith(QStringLiteral("\r\n")) && text.count(u'|') == 3
            && flags.match(text).hasMatch() && yz::SettingsRecord::parse(text).serialize() == text;
}

using yztest::storedSettings;

// Every group ticked, a domain typed.
struct Press : yztest::WindowRig {
    Press()
    {
        for (QCheckBox *box : {window.Check1, window.Check2, window.Check3, window.Check4, window.trendGo})
            box->setChecked(true);
        window.dm->setText(QStringLiteral("www.example.com"));
    }
    bool run(int timeoutMs = 30000) { return press(timeoutMs); }
    // Every value cell: a failure value, or PageRank still waiting where
    // the vendor's answer was no address.
    QString firstBadCell() const
    {
        for (QTableWidget *grid : {window.tb1, window.tb2, window.tb3}) {
            for (int r = 1; r < grid->rowCount(); ++r) {
                for (int c = 1; c < grid->columnCount(); ++c) {
                    const QString text = grid->item(r, c)->text();
                    const bool pageRank = grid == window.tb2 && c == 2;
                    if (!kFailureValues.contains(text) && !(pageRank && text == u"loading"))
                        return grid->objectName() + QStringLiteral(" %1,%2: %3").arg(r).arg(c).arg(text);
                }
            }
        }
        if (!QStringList{"Unknown至Unknown"}.contains(window.dminfo->text()))
            return QStringLiteral("dminfo: ") + window.dminfo->text();
        if (window.dminfo2->text() != u"建站于" || !QStringList{"Unknown", "NotMatch"}.contains(window.dminfo3->text()))
            return QStringLiteral("dminfo3: ") + window.dminfo3->text();
        return QString();
    }
};

} // namespace

class TestFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(QDir::setCurrent(m_dir.path())); }
    void init() { QFile::remove(QStringLiteral("setting.dat")); }
    void brokenAnswers_data();
    void brokenAnswers();
    void silentServersEndAtTheTimeOut();
    void pictureLengths_data();
    void pictureLengths();
    void floodOfAnswers();
    void damagedSettingsFiles_data();
    void damagedSettingsFiles();
    void unwritableSettingsFile();
    void cellsSayWhyInTheirTooltips();

private:
    QTemporaryDir m_dir;
};

void TestFaults::brokenAnswers_data()
{
    QTest::addColumn<yztest::FakeResponse>("answer");
    yztest::FakeResponse r;
    r.fault = yztest::FakeResponse::Fault::CloseMidBody;
    r.body = QByteArray(20000, 'a');
    QTest::newRow("closed mid-body") << r;
    r = {};
    r.fault = yztest::FakeResponse::Fault::CloseAtOnce;
    QTest::newRow("closed at once") << r;
    r = {};
    r.body = yztest::gbk(yztest::realisticPage(QStringLiteral("共约"))).repeated(8 * 1024 * 1024 / 40000);
    QTest::newRow("8 MB page") << r;
    r.body = randomBytes(300000, 7);
    QTest::newRow("random bytes") << r;
    r.body = QByteArray("\x81\x20\xFE\xFF\x84\x30\x81\xE3\x32\x9A\x36\x80", 12).repeated(5000)
            + "<meta charset=utf-8>\xC0\xAF\xED\xA0\x80";
    QTest::newRow("invalid GBK and UTF-8") << r;
    r.body.clear();
    QTest::newRow("0 bytes") << r;
    r.fault = yztest::FakeResponse::Fault::Chunked;
    r.body = randomBytes(50000, 11);
    QTest::newRow("chunked random bytes") << r;
    r = {};
    r.status = 500;
    r.body = "<html>找到相关网页约5篇</html>";
    QTest::newRow("server error with a count") << r;
}

void TestFaults::brokenAnswers()
{
    QFETCH(yztest::FakeResponse, answer);
    Press press;
    press.services.setResponseForAll(answer);
    QVERIFY(press.run());
    QCOMPARE(press.firstBadCell(), QString());
    QCOMPARE(press.window.engine().fetcher().startedCount(), press.window.engine().fetcher().finishedCount());
    // Only the picture may complain; the window still takes the next press.
    QVERIFY(press.messages.size() <= 1);
    QVERIFY(press.window.GO->isEnabled());
}

void TestFaults::silentServersEndAtTheTimeOut()
{
    Press press;
    press.window.engine().fetcher().setTimeoutMs(500);
    yztest::FakeResponse silent;
    silent.fault = yztest::FakeResponse::Fault::NoAnswer;
    press.services.setResponseForAll(silent);
    QVERIFY(press.run(10000));
    QCOMPARE(press.firstBadCell(), QString());
    QCOMPARE(press.window.tb2->item(1, 2)->text(), QStringLiteral("X")); // the PageRank address never came
    QCOMPARE(press.messages, QStringList{QStringLiteral("提示:图片下载出错")});
}

void TestFaults::pictureLengths_data()
{
    QTest::addColumn<QByteArray>("length"); // empty: no header
    QTest::newRow("missing") << QByteArray();
    QTest::newRow("lying, short") << QByteArray("3");
    QTest::newRow("lying, long") << QByteArray("100000");
    QTest::newRow("negative") << QByteArray("-5");
    QTest::newRow("huge") << QByteArray("99999999999999999999");
    QTest::newRow("not a number") << QByteArray("12abc");
}

void TestFaults::pictureLengths()
{
    QFETCH(QByteArray, length);
    Press press;
    yztest::FakeResponse picture;
    picture.body = randomBytes(5000, 3);
    picture.sendContentLength = false;
    if (!length.isEmpty())
        picture.headers.append({"Content-Length", length});
    press.services[Service::Vendor].setResponse(picture);
    QVERIFY(press.run());
    QVERIFY(press.messages.size() <= 1);
    // Bytes that are no picture draw nothing over the waiting picture.
    const QImage shown = press.window.Picture1->pixmap().toImage();
    const QImage waiting = press.window.Picture2->pixmap().toImage();
    for (const QPoint p : {QPoint(0, 0), QPoint(40, 30), QPoint(150, 90)})
        QCOMPARE(shown.pixelColor(p), waiting.pixelColor(p));
}

void TestFaults::floodOfAnswers()
{
    // 200 presses in a row, each answer arriving while later presses are
    // still being sent: every handler gets 200 answers, each once.
    Press press;
    yztest::serveSamplePages(press.services);
    press.window.trendGo->setChecked(false);
    constexpr int kPresses = 200;
    for (int i = 0; i < kPresses; ++i)
        QTest::mouseClick(press.window.GO, Qt::LeftButton);
    const yz::PageFetcher &fetcher = press.window.engine().fetcher();
    QVERIFY(press.settle(120000));
    QCOMPARE(fetcher.startedCount(), kPresses * 24);
    QCOMPARE(press.services.requestCount(), kPresses * 24);
    QCOMPARE(fetcher.answeredCount(), kPresses * 24);
    QCOMPARE(press.window.tb1->item(1, 1)->text(), QStringLiteral("1230000"));
    QCOMPARE(press.window.tb2->item(1, 2)->text(), QStringLiteral("7"));
    QCOMPARE(press.window.dminfo3->text(), QStringLiteral("2004-03-05"));
}

void TestFaults::damagedSettingsFiles_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("truncated") << QByteArray("1101");
    QTest::newRow("truncated after a field") << QByteArray("11010|a.com|a.com,b.c");
    QTest::newRow("binary") << randomBytes(4096, 5);
    QTest::newRow("NUL bytes") << QByteArray("11010|a\0b.com|x|0,1,\0\r\n", 22);
    QTest::newRow("many fields") << QByteArray("1|2|3|4|5|6|7|8|9|").repeated(10000);
    QTest::newRow("huge flag number") << QByteArray("111199999999999999999999|a.com|a.com|\r\n");
}

void TestFaults::damagedSettingsFiles()
{
    QFETCH(QByteArray, contents);
    QVERIFY(yztest::storeSettings(contents));
    {
        Press press;
        press.services.setResponseForAll(yztest::ok(randomBytes(1000, 9)));
        press.window.startUp();
        QVERIFY(press.settle());
        QVERIFY(press.run());
        press.window.close();
    }
    QVERIFY2(isValidRecord(storedSettings()), storedSettings().left(200).constData());
}

void TestFaults::unwritableSettingsFile()
{
    // A directory where the file should be: it can be neither read nor replaced.
    QVERIFY(QDir().mkdir(QStringLiteral("setting.dat")));
    {
        Press press;
        press.window.startUp();
        QCOMPARE(press.window.dm->text(), QStringLiteral("www.example.com"));
        QVERIFY(press.run());
        press.window.close();
    }
    QVERIFY(QFileInfo(QStringLiteral("setting.dat")).isDir());
    QVERIFY(QDir().rmdir(QStringLiteral("setting.dat")));
}

// A cell's tooltip says why it shows its value: a failure is told apart from
// a page the program did not recognise; the values stay as they were.
void TestFaults::cellsSayWhyInTheirTooltips()
{
    Press press;
    yztest::serveEveryCause(press.services);
    press.window.engine().fetcher().setTimeoutMs(500);
    QVERIFY(press.run());
    const struct {
        int col;
        const char *value;
        QString tooltip;
    } expected[] = {
            {1, "0", QStringLiteral("服务表示没有找到（")},
            {2, "X", QStringLiteral("连接中断（")},
            {3, "X", QStringLiteral("超时（")},
            {4, "频", QStringLiteral("服务拒绝自动查询（")},
            {5, "X", QStringLiteral("HTTP 404（")},
            {6, "X", QStringLiteral("未识别的页面（")},
    };
    for (const auto &e : expected) {
        const QTableWidgetItem *cell = press.window.tb1->item(1, e.col);
        QCOMPARE(cell->text(), QString::fromUtf8(e.value));
        QVERIFY2(cell->toolTip().startsWith(e.tooltip), qPrintable(cell->toolTip()));
    }
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
