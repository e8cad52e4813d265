// Takes the README's screenshots: the main window after a query of every
// group, answered by the fake services with the sample pages, and the
// domain's history window over a month of runs, captured from the X server
// it runs on (scripts/screenshot.sh starts Xvfb for it).
#include "app/HistoryDialog.h"
#include "results/ResultStore.h"
#include "tests/support/FakeServices.h"
#include "tests/support/SamplePages.h"
#include "tests/support/WindowUnderTest.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

// A plausible indexing-trend picture: a rising line over a grid.
QByteArray trendPicture()
{
    QImage image(158, 93, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setPen(QColor(0xDD, 0xDD, 0xDD));
    for (int y = 10; y < 93; y += 16)
        p.drawLine(0, y, 158, y);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x1E, 0x6F, 0xD9), 2));
    const int values[] = {70, 66, 68, 58, 52, 55, 44, 38, 40, 30, 24, 20};
    for (int i = 1; i < 12; ++i)
        p.drawLine(QPoint(6 + (i - 1) * 13, values[i - 1]), QPoint(6 + i * 13, values[i]));
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 95);
    return bytes;
}

bool seedHistory(const yz::PressRecord &record)
{
    yz::ResultStore store(yz::defaultResultsFile());
    QString error;
    if (!store.open(yz::ResultStore::Purpose::Writing, &error))
        return false;
    const QDateTime today = QDateTime::currentDateTimeUtc();
    for (int night = 30; night >= 1; --night) {
        yz::PressRecord past = record;
        past.at = today.addDays(-night);
        const qint64 count = 1'000'000 + (30 - night) * 8'000 + (night % 4) * 3'000;
        past.grids[0][1][1] = QString::number(count);
        if (night == 12) {
            past.grids[0][1][1] = QStringLiteral("X");
            past.statuses[0][1][1].cause = yz::CellStatus::Cause::Failed;
        }
        if (!store.add(QStringLiteral("example.com"), past, night % 7 == 0 ? yz::kSourceWindow : yz::kSourceCommandLine,
                       &error))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: readme_screenshot WINDOW.png HISTORY.png\n");
        return 2;
    }
    const QString output = QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1]));
    const QString historyOutput = QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[2]));
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8()); // the results database of this run

    yztest::FakeServices services;
    yztest::serveSamplePages(services);
    const QString vendorBase = services.hosts().base(yz::Service::Vendor);
    const QByteArray picture = trendPicture();
    services[yz::Service::Vendor].setScript([vendorBase, picture](const yztest::RecordedRequest &req) {
        if (req.target.startsWith("/api/PRURL.php"))
            return yztest::ok((vendorBase + QStringLiteral("/tbr?q=info:example.com")).toUtf8());
        if (req.target.startsWith("/tbr"))
            return yztest::ok("Rank_1:1:6\n");
        if (req.target.startsWith("/yzclientthumb/"))
            return yztest::ok(picture);
        if (req.target.startsWith("/yztool/n/"))
            return yztest::ok(yztest::gbk(QStringLiteral("站长工具 2.0 发布[L|G]http://www.yanzhou.net/{L|G}"
                                                         "百度收录查询技巧[L|G]http://www.yanzhou.net/{L|G}"
                                                         "外链建设指南[L|G]http://www.yanzhou.net/")));
        return yztest::ok(QByteArray("200912230"));
    });

    yztest::WindowUnderTest window(services.hosts());
    window.startUp();
    for (QCheckBox *box : {window.Check1, window.Check2, window.Check3, window.Check4, window.trendGo})
        box->setChecked(true);
    window.dm->setText(QStringLiteral("example.com"));
    // A press of another domain gives the shape of a record; a month of
    // nightly runs of example.com is made from it (Baidu's count rising, one
    // night refused), then example.com is queried.
    QSignalSpy ended(&window.engine(), &yz::QueryEngine::pressEnded);
    window.messageBox = [](const QString &, const QString &, const QString &) {};
    window.dm->setText(QStringLiteral("seed.example.com"));
    QTest::mouseClick(window.GO, Qt::LeftButton);
    if (ended.isEmpty() && !ended.wait(20000))
        return 1;
    if (!seedHistory(ended.first().first().value<yz::PressRecord>()))
        return 1;
    ended.clear();
    window.dm->setText(QStringLiteral("example.com"));
    QTest::mouseClick(window.GO, Qt::LeftButton);
    if (ended.isEmpty() && !ended.wait(20000))
        return 1;
    QTest::qWait(500); // let the window manager-less server draw everything
    const QRect frame = window.frameGeometry();
    const QPixmap shot = window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    if (shot.isNull() || !shot.save(output, "PNG"))
        return 1;
    std::printf("%s\n", qPrintable(output));

    window.openHistory(QStringLiteral("tb1/收录/Baidu"));
    auto *history = window.findChild<HistoryDialog *>();
    if (!history)
        return 1;
    QTest::qWait(1500); // the runs arrive from the database's thread
    const QRect historyFrame = history->frameGeometry();
    const QPixmap historyShot = history->screen()->grabWindow(0, historyFrame.x(), historyFrame.y(),
                                                              historyFrame.width(), historyFrame.height());
    if (historyShot.isNull() || !historyShot.save(historyOutput, "PNG"))
        return 1;
    std::printf("%s\n", qPrintable(historyOutput));
    return 0;
}
