#include "cli/BatchRun.h"

#include "query/QueryTable.h"

#include <QTimer>

#include <algorithm>

namespace yz::cli {
namespace {

// How far ahead of the first unfinished domain a batch may start, in jobs,
// besides the held results and the parked domains.
constexpr int kLookAheadJobs = 4;
// Domains whose requests all wait at the gate, at most.
constexpr int kParkedBound = 64;

} // namespace

BatchRun::BatchRun(const ServiceHosts &hosts, const PressGroups &groups, const QStringList &domains,
                   const QString &trendDir, const BatchLimits &limits, QObject *parent)
    : QObject(parent)
    , m_hosts(hosts)
    , m_groups(groups)
    , m_domains(domains)
    , m_trendDir(trendDir)
    , m_limits(limits)
    , m_gate(limits.perHost > 0 ? limits.perHost : BatchLimits::kAutoPerHostFloor, limits.delayMs)
{
    m_limits.jobs = std::max(1, m_limits.jobs);
    m_gate.setGiveUpAfter(limits.giveUpAfter);
    if (limits.perHost > 0)
        return;
    // The requests one press sends each host, by the query table.
    QHash<QString, int> burst;
    for (const std::span<const QueryRow> rows : allQueryRows())
        for (const QueryRow &row : rows)
            if (pressRuns(groups, row.group))
                ++burst[PageFetcher::gateKey(QUrl(hosts.base(row.service)))];
    for (auto it = burst.cbegin(); it != burst.cend(); ++it)
        m_gate.setLimit(it.key(), std::max(BatchLimits::kAutoPerHostFloor, it.value()));
}

void BatchRun::start(std::function<void(const DomainResult &)> emitResult)
{
    m_emit = std::move(emitResult);
    m_clock.start();
    // Everything happens from the event loop, so that `finished` never comes
    // before the caller waits for it (a domain whose requests all fail at
    // once finishes inside its own start).
    if (m_domains.isEmpty())
        QTimer::singleShot(0, this, &BatchRun::finished);
    else
        QTimer::singleShot(0, this, &BatchRun::fill);
}

void BatchRun::fill()
{
    m_fillPending = false;
    // A domain whose requests all wait at the gate (a host at its limit or
    // slowed down by refusals) leaves its job to another domain and does not
    // count towards the look-ahead, so the other hosts' work goes on; such
    // domains, the others under way and the results held for input order
    // are each bounded all the same.
    const auto parked = [this] {
        return int(std::count_if(m_live.cbegin(), m_live.cend(), [](const DomainRun *run) { return run->parked(); }));
    };
    const int aheadBound = m_limits.jobs * kLookAheadJobs + m_limits.heldBound;
    while (m_next < m_domains.size()) {
        const int waiting = parked();
        if (int(m_live.size()) - waiting >= m_limits.jobs || waiting >= kParkedBound
            || m_next - m_nextOut - waiting >= aheadBound)
            break;
        const int index = m_next++;
        auto *run = new DomainRun(m_hosts, m_groups, m_domains.at(index), m_trendDir, &m_gate, m_rules, this);
        if (m_archive)
            run->keepPagesIn(m_archive);
        run->setTimeoutMs(m_limits.timeoutMs);
        if (const auto only = m_onlyRows.constFind(m_domains.at(index)); only != m_onlyRows.constEnd())
            run->setOnlyRows(*only);
        m_live.insert(run);
        connect(run, &DomainRun::requestEnded, this, &BatchRun::scheduleFill);
        connect(run, &DomainRun::proxyFailed, this, &BatchRun::proxyFailed);
        connect(run, &DomainRun::finished, this, [this, run, index] {
            m_held.insert(index, run->takeResult());
            m_live.remove(run);
            run->deleteLater();
            finishOne();
        });
        run->start();
    }
}

void BatchRun::scheduleFill()
{
    // Started from the event loop: a domain finishing inside another's start
    // must not start more domains from within that call.
    if (!std::exchange(m_fillPending, true))
        QTimer::singleShot(0, this, &BatchRun::fill);
}

void BatchRun::finishOne()
{
    flush();
    Q_EMIT progressed();
    if (m_nextOut == m_domains.size()) {
        Q_EMIT finished();
        return;
    }
    scheduleFill();
}

void BatchRun::flush()
{
    while (!m_held.isEmpty() && m_held.firstKey() == m_nextOut) {
        const DomainResult result = m_held.take(m_nextOut);
        ++m_nextOut;
        if (m_emit)
            m_emit(result);
    }
}

BatchState BatchRun::state() const
{
    BatchState s;
    s.done = m_nextOut + int(m_held.size());
    s.total = int(m_domains.size());
    s.requestsInFlight = m_gate.inFlightTotal();
    s.requestsWaiting = m_gate.waitingTotal();
    s.slowestHost = m_gate.slowestHost(&s.slowestMeanMs);
    s.refusing = m_gate.refusing();
    s.elapsedMs = m_clock.isValid() ? m_clock.elapsed() : 0;
    if (s.done > 0)
        s.remainingMs = s.elapsedMs * (s.total - s.done) / s.done;
    return s;
}

} // namespace yz::cli
