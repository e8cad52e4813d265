// The trend picture: the buffer rules, and the picture drawn into the window
// over the waiting picture.
#include "net/spyHTTPPic.h"
#include "tests/support/FakeServices.h"
#include "tests/support/WindowUnderTest.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using yz::Service;
using yz::spyHTTPPic;

namespace {

QByteArray png(const QSize &size, const QColor &color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QColor pixel(const QLabel *box, int x, int y)
{
    return box->pixmap().toImage().pixelColor(x, y);
}

} // namespace

class TestTrendPicture : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(QDir::setCurrent(m_dir.path())); }
    void bufferRules();
    void pictureIsDrawnOverTheWaitingPicture();
    void largerPictureIsCutOff();
    void failuresKeepTheWaitingPicture_data();
    void failuresKeepTheWaitingPicture();

private:
    // The trend picture's box alone ticked, after start-up.
    struct Run : yztest::WindowRig {
        Run()
        {
            window.startUp();
            QTRY_COMPARE_WITH_TIMEOUT(window.engine().fetcher().inFlight(), 0, 10000);
            services.clearAll();
            window.Check1->setChecked(false);
            window.trendGo->setChecked(true);
            window.dm->setText(QStringLiteral("bbs.example.cn"));
        }
    };
    QTemporaryDir m_dir;
};

void TestTrendPicture::bufferRules()
{
    const auto buffer = spyHTTPPic::pictureBuffer("3", "abc");
    QVERIFY(buffer);
    QCOMPARE(*buffer, QByteArray("abc\0", 4)); // one byte longer, its last byte zero
    QCOMPARE(*spyHTTPPic::pictureBuffer(" 5 ", "ab"), QByteArray("ab\0\0\0\0", 6));
    QVERIFY(spyHTTPPic::pictureBuffer("3", "abcd")); // exactly fills the buffer
    QVERIFY(!spyHTTPPic::pictureBuffer("2", "abcd"));
    QVERIFY(!spyHTTPPic::pictureBuffer(QByteArray(), "abc"));
    QVERIFY(!spyHTTPPic::pictureBuffer("twelve", "abc"));
    QVERIFY(!spyHTTPPic::pictureBuffer("-1", ""));
    QVERIFY(!spyHTTPPic::pictureBuffer("2147483647", "abc")); // not believed: nothing is allocated
    QVERIFY(!spyHTTPPic::pictureBuffer("99999999999", "abc"));
    QVERIFY(spyHTTPPic::pictureBuffer(QByteArray::number(spyHTTPPic::kMaxPictureBytes), "abc"));
}

void TestTrendPicture::pictureIsDrawnOverTheWaitingPicture()
{
    Run run;
    yztest::FakeResponse answer;
    answer.body = png(QSize(40, 20), Qt::red);
    answer.delayMs = 150;
    run.services[Service::Vendor].setResponse(answer);
    QTest::mouseClick(run.window.GO, Qt::LeftButton);
    // The waiting picture shows at once.
    const QImage waiting = run.window.Picture2->pixmap().toImage();
    QCOMPARE(pixel(run.window.Picture1, 100, 60), waiting.pixelColor(100, 60));
    QTRY_COMPARE_WITH_TIMEOUT(run.window.engine().fetcher().inFlight(), 0, 10000);
    QCOMPARE(run.services[Service::Vendor].targets(), QList<QByteArray>{"/yzclientthumb/bbs.example.cn_bd1.jpg"});
    QCOMPARE(run.services[Service::Vendor].requests()[0].header("If-Modified-Since"), QByteArray("0"));
    QCOMPARE(pixel(run.window.Picture1, 0, 0), QColor(Qt::red));
    QCOMPARE(pixel(run.window.Picture1, 39, 19), QColor(Qt::red));
    // Where the small picture does not reach, the waiting picture stays.
    QCOMPARE(pixel(run.window.Picture1, 100, 60), waiting.pixelColor(100, 60));
    QCOMPARE(pixel(run.window.Picture1, 41, 5), waiting.pixelColor(41, 5));
    QVERIFY(run.messages.isEmpty());
    // A repaint keeps the drawing.
    run.window.Picture1->repaint();
    QCOMPARE(pixel(run.window.Picture1, 0, 0), QColor(Qt::red));
}

void TestTrendPicture::largerPictureIsCutOff()
{
    Run run;
    yztest::FakeResponse answer;
    answer.body = png(QSize(400, 300), Qt::blue);
    run.services[Service::Vendor].setResponse(answer);
    const QSize box = run.window.Picture1->contentsRect().size();
    QVERIFY(run.press());
    QCOMPARE(run.window.Picture1->pixmap().size(), box);
    QCOMPARE(pixel(run.window.Picture1, box.width() - 1, box.height() - 1), QColor(Qt::blue));
}

void TestTrendPicture::failuresKeepTheWaitingPicture_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("length"); // -2: no header; -1: the real one
    QTest::addColumn<QByteArray>("lengthText");
    QTest::addColumn<QStringList>("messages");
    const QStringList failed = {QStringLiteral("提示:图片下载出错")};
    QTest::newRow("404") << 404 << -1 << QByteArray() << failed;
    QTest::newRow("no Content-Length") << 200 << -2 << QByteArray() << QStringList();
    QTest::newRow("Content-Length too small") << 200 << 10 << QByteArray() << QStringList();
    QTest::newRow("huge Content-Length") << 200 << 0 << QByteArray("2147483647") << QStringList();
}

void TestTrendPicture::failuresKeepTheWaitingPicture()
{
    QFETCH(int, status);
    QFETCH(int, length);
    QFETCH(QByteArray, lengthText);
    QFETCH(QStringList, messages);
    Run run;
    yztest::FakeResponse answer;
    answer.status = status;
    answer.body = png(QSize(40, 20), Qt::red);
    if (length == -2) {
        answer.sendContentLength = false;
    } else if (!lengthText.isEmpty()) {
        // A lying header with the real body: sent as an extra header, the
        // connection closes after the body.
        answer.sendContentLength = false;
        answer.headers.append({"Content-Length", lengthText});
    } else if (length >= 0) {
        answer.contentLengthOverride = length;
    }
    run.services[Service::Vendor].setResponse(answer);
    QVERIFY(run.press());
    QCOMPARE(run.messages, messages);
    const QImage waiting = run.window.Picture2->pixmap().toImage();
    QCOMPARE(pixel(run.window.Picture1, 0, 0), waiting.pixelColor(0, 0));
    QCOMPARE(pixel(run.window.Picture1, 20, 10), waiting.pixelColor(20, 10));
}

QTEST_MAIN(TestTrendPicture)
#include "tst_trendpicture.moc"
