#include "net/HostGate.h"

#include <algorithm>

namespace yz {

HostGate::HostGate(int perHost, int delayMs, QObject *parent)
    : QObject(parent)
    , m_perHost(std::max(1, perHost))
    , m_delayMs(std::max(0, delayMs))
{
    m_clock.start();
}

HostGate::Host &HostGate::hostFor(const QString &host)
{
    auto it = m_hosts.find(host);
    if (it == m_hosts.end()) {
        it = m_hosts.insert(host, Host{});
        it->delayMs = m_delayMs;
    }
    return *it;
}

void HostGate::enqueue(const QString &host, QObject *owner, std::function<void()> start, std::function<void()> skip)
{
    Host &h = hostFor(host);
    h.waiting.push_back({owner, std::move(start), std::move(skip)});
    if (h.givenUp)
        skipWaiting(h);
    else
        pump(host);
}

void HostGate::skipWaiting(Host &h)
{
    // From the event loop: a skip reaches a handler, which may enqueue more.
    while (!h.waiting.empty()) {
        Waiting w = std::move(h.waiting.front());
        h.waiting.pop_front();
        if (!w.owner.isNull() && w.skip)
            QTimer::singleShot(0, w.owner.data(), std::move(w.skip));
    }
}

void HostGate::noteRefused(const QString &host)
{
    Host &h = hostFor(host);
    ++h.refusals;
    ++h.refusedInARow;
    slowDown(host);
    if (m_giveUpAfter > 0 && h.refusedInARow >= m_giveUpAfter && !h.givenUp) {
        h.givenUp = true;
        skipWaiting(h);
        Q_EMIT gaveUp(host, h.refusedInARow);
    }
}

void HostGate::noteAnswered(const QString &host)
{
    hostFor(host).refusedInARow = 0;
}

void HostGate::noteFailed(const QString &host)
{
    ++hostFor(host).failures;
}

bool HostGate::givenUp(const QString &host) const
{
    const auto it = m_hosts.constFind(host);
    return it != m_hosts.constEnd() && it->givenUp;
}

QList<HostGate::HostSummary> HostGate::summary() const
{
    QList<HostSummary> list;
    for (auto it = m_hosts.constBegin(); it != m_hosts.constEnd(); ++it)
        list.append({it.key(), it->requests, it->refusals, it->failures, it->delayMs, it->givenUp});
    std::sort(list.begin(), list.end(), [](const HostSummary &a, const HostSummary &b) { return a.host < b.host; });
    return list;
}

QList<HostGate::HostSummary> HostGate::refusing() const
{
    QList<HostSummary> list;
    for (const HostSummary &h : summary())
        if (h.refusals > 0 && !h.givenUp)
            list.append(h);
    return list;
}

void HostGate::release(const QString &host)
{
    const auto it = m_hosts.find(host);
    if (it == m_hosts.end() || it->startedAt.empty())
        return;
    it->answeredUs += nowUs() - it->startedAt.front();
    ++it->answered;
    it->startedAt.pop_front();
    --m_inFlightTotal;
    pump(host);
}

void HostGate::slowDown(const QString &host)
{
    Host &h = hostFor(host);
    h.delayMs = std::min(m_refusalCeilingMs, std::max(m_refusalFloorMs, h.delayMs * 2));
}

void HostGate::setLimit(const QString &host, int perHost)
{
    hostFor(host).limit = std::max(1, perHost);
    pump(host);
}

int HostGate::delayMs(const QString &host) const
{
    const auto it = m_hosts.constFind(host);
    return it == m_hosts.constEnd() ? m_delayMs : it->delayMs;
}

int HostGate::inFlight(const QString &host) const
{
    const auto it = m_hosts.constFind(host);
    return it == m_hosts.constEnd() ? 0 : int(it->startedAt.size());
}

int HostGate::waitingTotal() const
{
    int n = 0;
    for (const Host &h : m_hosts)
        n += int(h.waiting.size());
    return n;
}

QString HostGate::slowestHost(int *meanMs) const
{
    QString slowest;
    qint64 worst = -1;
    const qint64 now = nowUs();
    for (auto it = m_hosts.constBegin(); it != m_hosts.constEnd(); ++it) {
        const Host &h = *it;
        if (h.startedAt.empty() && h.waiting.empty())
            continue;
        // A request still out counts with the time it has taken so far, so a
        // host that has not answered at all shows up too.
        qint64 total = h.answeredUs;
        for (qint64 at : h.startedAt)
            total += now - at;
        const int count = h.answered + int(h.startedAt.size());
        const qint64 mean = count > 0 ? total / count : 0;
        if (mean > worst) {
            worst = mean;
            slowest = it.key();
        }
    }
    if (meanMs)
        *meanMs = int(std::max<qint64>(0, worst) / 1000);
    return slowest;
}

qint64 HostGate::nowUs() const
{
    return m_clock.nsecsElapsed() / 1000;
}

void HostGate::pump(const QString &host)
{
    Host &h = hostFor(host);
    const int limit = h.limit > 0 ? h.limit : m_perHost;
    while (!h.waiting.empty() && int(h.startedAt.size()) < limit) {
        if (h.waiting.front().owner.isNull()) {
            h.waiting.pop_front();
            continue;
        }
        const qint64 now = nowUs();
        const qint64 due = h.lastStart < 0 ? now : h.lastStart + qint64(h.delayMs) * 1000;
        if (due > now) {
            if (!h.timerArmed) {
                h.timerArmed = true;
                const int waitMs = int((due - now + 999) / 1000);
                QTimer::singleShot(waitMs, Qt::PreciseTimer, this, [this, host] {
                    m_hosts[host].timerArmed = false;
                    pump(host);
                });
            }
            return;
        }
        Waiting next = std::move(h.waiting.front());
        h.waiting.pop_front();
        h.lastStart = now;
        h.startedAt.push_back(now);
        ++h.requests;
        ++m_inFlightTotal;
        // `start` may enqueue or release on this gate; h may move with the hash.
        next.start();
        pump(host);
        return;
    }
}

} // namespace yz
