#pragma once

#include "net/PageFetcher.h"

namespace yz::cli {

// How a batch runs: domains in flight at once, and the per-host pacing that
// holds across all of them.
struct BatchLimits {
    // A host gets at most what one press sends it at once (so one domain runs
    // as fast as the window's press, and many never crowd a host more than
    // one press does), and never less than this.
    static constexpr int kAutoPerHostFloor = 2;
    int jobs = 4;
    int perHost = 0; // requests in flight to one host, across all domains; 0: as above
    int delayMs = 0;
    int giveUpAfter = 0; // refusals in a row after which a host is asked no more; 0: never
    // Finished results that may wait for an earlier domain, beyond the
    // domains under way: the look-ahead past a domain held up at the gate.
    int heldBound = 256;
    int timeoutMs = PageFetcher::kDefaultTimeoutMs; // each request, from when it leaves
};

} // namespace yz::cli
