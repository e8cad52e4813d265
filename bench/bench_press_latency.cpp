// Press latency: the window presses 查询 with all four groups against fake
// services on their own loopback ports that each hold every answer for
// 300 ms. Reported: the time from the press until the last answer is
// delivered, as a ratio to 300 ms, and as a ratio to curl --parallel
// fetching the same addresses from the same servers. A ratio to 300 ms near
// 1 means every request really runs at once.
#include "bench/Timing.h"
#include "tests/support/FakeServices.h"
#include "tests/support/WindowUnderTest.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kDelayMs = 300;
constexpr int kRounds = 7;

// Milliseconds curl takes for all the addresses at once, or -1. The event
// loop turns meanwhile, so that the fake servers in this process answer.
double curlMs(const QStringList &urls)
{
    QStringList args = {"--silent",       "--globoff", "--noproxy", "*", "--parallel", "--parallel-immediate",
                        "--parallel-max", "100"};
    for (const QString &url : urls)
        args << QString::fromLatin1(QUrl(url).toEncoded()) << QStringLiteral("--output") << QStringLiteral("/dev/null");
    QProcess curl;
    QSignalSpy finished(&curl, &QProcess::finished);
    QElapsedTimer clock;
    clock.start();
    curl.start(QStringLiteral("curl"), args);
    if (!curl.waitForStarted() || (finished.isEmpty() && !finished.wait(20000)) || curl.exitCode() != 0)
        return -1;
    return double(clock.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The window keeps its settings file in the current directory.
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());

    yztest::FakeServices services;
    yztest::FakeResponse answer;
    answer.delayMs = kDelayMs;
    answer.body = "<html>找到相关网页约1,230篇</html>";
    services.setResponseForAll(answer);

    yztest::WindowUnderTest window(services.hosts());
    window.messageBox = [](const QString &, const QString &, const QString &) {};
    for (QCheckBox *box : {window.Check1, window.Check2, window.Check3, window.Check4})
        box->setChecked(true);
    QStringList urls;
    QObject::connect(&window.engine().fetcher(), &yz::PageFetcher::requestStarted,
                     [&](const QString &url) { urls << url; });

    QList<double> toDelay, toCurl;
    for (int round = 0; round < kRounds; ++round) {
        urls.clear();
        QSignalSpy idle(&window.engine().fetcher(), &yz::PageFetcher::idle);
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(window.GO, Qt::LeftButton);
        if (!idle.wait(10000)) {
            std::fprintf(stderr, "round %d: answers did not all arrive\n", round);
            return 1;
        }
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        const double curl = curlMs(urls);
        if (curl < 0) {
            std::fprintf(stderr, "curl failed\n");
            return 1;
        }
        toDelay << ms / kDelayMs;
        toCurl << ms / curl;
    }
    std::printf("%-44s %10s %10s\n", "press latency (4 groups, 23 requests)", "median", "target");
    std::printf("%-44s %10.3f %10s\n", "  time / 300 ms", yzbench::median(toDelay), "<= 1.15");
    std::printf("%-44s %10.3f %10s\n", "  time / curl --parallel, same requests", yzbench::median(toCurl), "<= 1.10");
    return 0;
}
