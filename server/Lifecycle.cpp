#include "server/Lifecycle.h"

#include "server/Log.h"

#include <QCoreApplication>

#include <csignal>
#include <cstring>
#include <systemd/sd-daemon.h>

namespace yz::server {

void notifySystemd(const char *state)
{
    sd_notify(0, state);
}

Lifecycle::Lifecycle(Listening listening, std::function<QString()> reload, int graceMs, QObject *parent)
    : QObject(parent)
    , m_listening(std::move(listening))
    , m_reload(std::move(reload))
    , m_graceMs(graceMs)
{
    connect(&m_signals, &SignalWatch::stopAsked, this, &Lifecycle::stop);
    connect(&m_signals, &SignalWatch::reloadAsked, this, &Lifecycle::reload);
    m_drain.setInterval(20);
    connect(&m_drain, &QTimer::timeout, this, &Lifecycle::checkDrained);
}

void Lifecycle::ready()
{
    notifySystemd("READY=1\nSTATUS=serving");
}

void Lifecycle::stop(int signal)
{
    if (m_stopping.isValid())
        return; // a second signal changes nothing: the deadline stands
    m_stopping.start();
    notifySystemd("STOPPING=1");
    m_listening.stopAccepting();
    qCInfo(lcServe, "stopping on SIG%s: no new connections, %d being answered (at most %d ms)", sigabbrev_np(signal),
           m_listening.busyConnections(), m_graceMs);
    m_drain.start();
    checkDrained();
}

void Lifecycle::checkDrained()
{
    const int busy = m_listening.busyConnections();
    // A request a client sent just before the signal may still sit in the
    // kernel's buffer, unseen: the loop turns a little before it ends.
    constexpr qint64 kLeastMs = 100;
    if (m_stopping.elapsed() < kLeastMs)
        return;
    const bool late = m_stopping.elapsed() >= m_graceMs;
    if (busy > 0 && !late)
        return;
    m_drain.stop();
    if (busy > 0)
        qCWarning(lcServe, "stopped with %d connections still being answered after %d ms", busy, m_graceMs);
    else
        qCInfo(lcServe, "every answer sent; closing the database");
    QCoreApplication::exit(0);
}

void Lifecycle::reload()
{
    notifySystemd("RELOADING=1");
    const QString report = m_reload ? m_reload() : QString();
    qCInfo(lcServe, "reloaded on SIGHUP: %s", qPrintable(report));
    notifySystemd("READY=1\nSTATUS=serving");
}

} // namespace yz::server
