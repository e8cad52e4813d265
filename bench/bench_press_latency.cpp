// Press latency: the window presses 查询 with the three grid groups against
// fake services that each hold every answer for 300 ms, and the time from the
// press until all 21 answers are delivered is reported as a ratio to 300 ms.
// A ratio near 1 means the requests really run in parallel.
#include "app/Form1.h"
#include "tests/support/FakeServices.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The window keeps its settings file in the current directory.
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    constexpr int kDelayMs = 300;
    constexpr int kRounds = 7;

    yztest::FakeServices services;
    yztest::FakeResponse answer;
    answer.delayMs = kDelayMs;
    answer.body = "<html>找到相关网页约1,230篇</html>";
    services.setResponseForAll(answer);

    Form1 window(services.hosts());
    window.startUp();
    window.Check1->setChecked(true);
    window.Check2->setChecked(true);
    window.Check3->setChecked(true);

    QList<double> ratios;
    for (int round = 0; round < kRounds; ++round) {
        QSignalSpy idle(&window.engine().fetcher(), &yz::PageFetcher::idle);
        const int before = window.engine().fetcher().finishedCount();
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(window.GO, Qt::LeftButton);
        if (!idle.wait(10000)) {
            std::fprintf(stderr, "round %d: answers did not all arrive\n", round);
            return 1;
        }
        const qint64 ms = clock.elapsed();
        const int delivered = window.engine().fetcher().finishedCount() - before;
        if (delivered != 21) {
            std::fprintf(stderr, "round %d: %d answers delivered, expected 21\n", round, delivered);
            return 1;
        }
        ratios << double(ms) / kDelayMs;
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("%-34s %10s %10s %10s %8s\n", "benchmark", "median", "best", "worst", "target");
    std::printf("%-34s %10.3f %10.3f %10.3f %8s\n", "press latency / 300 ms (21 answers)",
                ratios[ratios.size() / 2], ratios.front(), ratios.back(), "<= 1.2");
    return 0;
}
