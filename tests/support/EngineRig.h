#pragma once

#include "query/QueryEngine.h"
#include "tests/support/FakeServices.h"

#include <QSignalSpy>

namespace yztest {

// A query engine pointed at fake services, with the domain text a test sets.
struct EngineRig {
    FakeServices services;
    yz::QueryEngine engine;
    QString domain = QStringLiteral("example.com");

    EngineRig()
    {
        engine.hosts() = services.hosts();
        engine.setDomainSource([this] { return domain; });
    }

    // Starts the chosen grid groups, as a press with these boxes ticked does.
    void startGroups(bool common, bool rank, bool recent)
    {
        yz::PressGroups g;
        g.common = common;
        g.rank = rank;
        g.recent = recent;
        engine.startGridGroups(g);
    }

    // Waits in a real event loop until every request has been delivered
    // (deliveries take one pass each; QTest::qWaitFor sleeps between passes).
    bool waitIdle(int timeoutMs = 15000)
    {
        if (engine.fetcher().inFlight() == 0)
            return true;
        QSignalSpy idle(&engine.fetcher(), &yz::PageFetcher::idle);
        return idle.wait(timeoutMs);
    }

    QString cell(yz::Grid g, int row, int col) { return engine.sheet().cell(g, row, col); }
};

} // namespace yztest
