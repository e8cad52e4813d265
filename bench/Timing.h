#pragma once

// Small measuring helpers shared by the benchmarks.
#include <QElapsedTimer>
#include <QList>

#include <algorithm>
#include <functional>

namespace yzbench {

// The shortest of `rounds` runs, in seconds: the figure least disturbed by
// the rest of the machine.
inline double bestSeconds(const std::function<void()> &work, int rounds)
{
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        best = std::min(best, t.nsecsElapsed() / 1e9);
    }
    return best;
}

inline double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

} // namespace yzbench
