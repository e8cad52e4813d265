#pragma once

#include "server/SignalWatch.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>

namespace yz::server {

// What a graceful stop asks of the listeners, whichever threads they run on.
struct Listening {
    std::function<void()> stopAccepting; // no new connections; open ones go on
    std::function<int()> busyConnections; // a request in flight or an answer not yet out
};

// Tells systemd how the service is doing (sd_notify): a no-op when the
// service was not started by systemd with Type=notify.
void notifySystemd(const char *state);

// Stops and reloads a serving instance as an operator of a Debian daemon
// expects. SIGTERM or SIGINT: the listeners stop accepting, what is in
// flight is answered within `graceMs`, then the event loop quits with 0 so
// that serve closes the collector and the database (SQLite's log is
// checkpointed into the database file as its last connection closes).
// SIGHUP: `reload` runs and its report is logged.
class Lifecycle : public QObject {
    Q_OBJECT
public:
    Lifecycle(Listening listening, std::function<QString()> reload, int graceMs = 5000, QObject *parent = nullptr);

    // Everything is up: systemd may send traffic.
    void ready();

private:
    void stop(int signal);
    void checkDrained();
    void reload();

    SignalWatch m_signals;
    Listening m_listening;
    std::function<QString()> m_reload;
    int m_graceMs;
    QTimer m_drain;
    QElapsedTimer m_stopping;
};

} // namespace yz::server
