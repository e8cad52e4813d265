// Soak: 3,000 presses of every group (trend picture included) against the
// fake services with the sample pages, each press's record kept in the
// results database. Checks that every started request is delivered exactly
// once, and reports how much resident memory grows from press 50 to press
// 300 and to press 3,000.
#include "tests/support/FakeServices.h"
#include "tests/support/SamplePages.h"
#include "tests/support/WindowUnderTest.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <unistd.h>

namespace {

double residentMiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toDouble() * double(::sysconf(_SC_PAGESIZE)) / (1024 * 1024);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The sample trend picture is bytes, not an image; the decoder's complaints are noise here.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio.jpeg=false"));
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    constexpr int kPresses = 3000;
    constexpr int kFrom = 50;
    constexpr int kShort = 300;

    yztest::FakeServices services;
    yztest::serveSamplePages(services);
    yztest::WindowUnderTest window(services.hosts());
    window.messageBox = [](const QString &, const QString &, const QString &) {};
    for (QCheckBox *box : {window.Check1, window.Check2, window.Check3, window.Check4, window.trendGo})
        box->setChecked(true);
    yz::PageFetcher &fetcher = window.engine().fetcher();
    int delivered = 0;
    QObject::connect(&fetcher, &yz::PageFetcher::requestFinished, [&] { ++delivered; });

    double atFrom = 0;
    double atShort = 0;
    int wrongPresses = 0;
    for (int press = 1; press <= kPresses; ++press) {
        const int startedBefore = fetcher.startedCount();
        delivered = 0;
        QSignalSpy idle(&fetcher, &yz::PageFetcher::idle);
        QTest::mouseClick(window.GO, Qt::LeftButton);
        if (fetcher.inFlight() > 0 && !idle.wait(30000)) {
            std::fprintf(stderr, "press %d: answers did not all arrive\n", press);
            return 1;
        }
        const int started = fetcher.startedCount() - startedBefore;
        // The request logs of the fake servers would grow; they are not the program's.
        const int received = services.requestCount();
        services.clearAll();
        if (delivered != started || received != started || started != 25)
            ++wrongPresses;
        if (press == kFrom)
            atFrom = residentMiB();
        if (press == kShort)
            atShort = residentMiB();
    }
    // The last records reach the database before the figure is taken.
    QTest::qWait(500);
    const double growth = residentMiB() - atFrom;
    std::printf("%-44s %10s %10s\n", "soak (3,000 presses, every group, stored)", "value", "target");
    std::printf("%-44s %10d %10s\n", "  presses not delivering each request once", wrongPresses, "0");
    std::printf("%-44s %10.2f %10s\n", "  resident growth press 50 -> 300, MiB", atShort - atFrom, "< 2");
    std::printf("%-44s %10.2f %10s\n", "  resident growth press 50 -> 3,000, MiB", growth, "< 2");
    return wrongPresses == 0 ? 0 : 1;
}
