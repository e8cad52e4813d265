// Takes the README's screenshot: the main window after a query of every
// group, answered by the fake services with the sample pages, captured from
// the X server it runs on (scripts/screenshot.sh starts Xvfb for it).
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

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: readme_screenshot OUTPUT.png\n");
        return 2;
    }
    const QString output = QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1]));
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());

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
    QTest::mouseClick(window.GO, Qt::LeftButton);
    QSignalSpy idle(&window.engine().fetcher(), &yz::PageFetcher::idle);
    if (window.engine().fetcher().inFlight() > 0 && !idle.wait(20000))
        return 1;
    QTest::qWait(500); // let the window manager-less server draw everything
    const QRect frame = window.frameGeometry();
    const QPixmap shot = window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    if (shot.isNull() || !shot.save(output, "PNG"))
        return 1;
    std::printf("%s\n", qPrintable(output));
    return 0;
}
