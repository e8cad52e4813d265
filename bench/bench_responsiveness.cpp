// Responsiveness: while every service answers a press with an 8 MB page, a
// 1 ms timer measures the longest time the event loop goes without turning,
// which is the longest single delivery (decoding and scraping one page).
// The fake services run in a thread of their own, so that their sending of
// the pages does not count. Reported beside the 100 ms a window may freeze
// at most.
#include "tests/support/FakeServices.h"
#include "tests/support/SamplePages.h"
#include "tests/support/WindowUnderTest.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <memory>

#include <algorithm>
#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());

    // A page of result markup with the markers of every engine at its end.
    const QString filler = yztest::realisticPage(QStringLiteral("—"));
    QString page;
    while (page.size() < 8 * 1024 * 1024 / 2)
        page += filler;
    page += QStringLiteral("找到相关网页约1,230篇 约 <b>12,300</b> 条 共 <strong>55</strong> <!--resultbarnum:5,678-->"
                           " 共约25万条 搜索到约3,456项结果 Rank_1:1:6 SogouRank:56/100 created: 2003-03-05");
    const QByteArray bytes = yztest::gbk(page);
    yz::ServiceHosts hosts;
    QSemaphore ready;
    std::unique_ptr<QThread> serverThread(QThread::create([&] {
        yztest::FakeServices services;
        services.setResponseForAll(yztest::ok(bytes));
        hosts = services.hosts();
        ready.release();
        QEventLoop().exec();
    }));
    serverThread->start();
    ready.acquire();

    yztest::WindowUnderTest window(hosts);
    window.messageBox = [](const QString &, const QString &, const QString &) {};
    for (QCheckBox *box : {window.Check1, window.Check2, window.Check3, window.Check4})
        box->setChecked(true);

    double longestMs = 0;
    for (int round = 0; round < 3; ++round) {
        QElapsedTimer sinceTick;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            longestMs = std::max(longestMs, double(sinceTick.nsecsElapsed()) / 1e6);
            sinceTick.restart();
        });
        QSignalSpy idle(&window.engine().fetcher(), &yz::PageFetcher::idle);
        QTest::mouseClick(window.GO, Qt::LeftButton);
        sinceTick.start();
        ticker.start();
        if (!idle.wait(60000)) {
            std::fprintf(stderr, "answers did not all arrive\n");
            return 1;
        }
    }
    serverThread->quit();
    serverThread->wait();
    std::printf("%-44s %10s %10s\n", "responsiveness (8 MB pages, 23 answers)", "ms", "target");
    std::printf("%-44s %10.1f %10s\n", "  longest the event loop stood still", longestMs, "< 100");
    return 0;
}
