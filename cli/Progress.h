#pragma once

#include "net/HostGate.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdio>

namespace yz::cli {

struct BatchState;

// A one-line progress report on standard error, shown only while standard
// error is a terminal, and cleared before anything else is written there.
class Progress {
public:
    explicit Progress(std::FILE *stream);
    ~Progress() { clear(); }

    bool enabled() const { return m_enabled; }
    // Redraws the line, at most ten times a second unless `now`.
    void show(const BatchState &state, bool now = false);
    void clear();

    // The line for a state: done of total, requests in flight and held back,
    // the slowest host, the hosts refusing with their pace, the time left.
    static QString line(const BatchState &state);
    // What the run did with each host: requests, refusals, failures, given
    // up or not; unless `always`, empty when no host refused or failed.
    static QString hostSummary(const QList<HostGate::HostSummary> &hosts, bool always = false);

private:
    std::FILE *m_stream;
    bool m_enabled;
    bool m_shown = false;
    QElapsedTimer m_lastDrawn;
};

} // namespace yz::cli
