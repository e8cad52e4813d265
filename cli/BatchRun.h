#pragma once

#include "cli/BatchLimits.h"
#include "cli/DomainRun.h"
#include "net/HostGate.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QSet>

#include <functional>

namespace yz::cli {

// Where a batch stands, for the progress line.
struct BatchState {
    int done = 0;
    int total = 0;
    int requestsInFlight = 0;
    int requestsWaiting = 0; // held back by the per-host limits
    QString slowestHost;
    int slowestMeanMs = 0;
    qint64 elapsedMs = 0;
    qint64 remainingMs = -1; // unknown until a domain is done
    QList<HostGate::HostSummary> refusing; // hosts slowed down by refusals, with their pace
};

// Runs one press per domain, up to `jobs` domains using connections at once,
// each on its own engine, all behind one host gate. A domain whose requests
// all wait at the gate does not hold its job: another domain starts, so a
// refusing or slow host never keeps the others idle. Results come out in
// input order. However long the list, at most 64 domains wait at the gate,
// and no other domain starts more than 4 × `jobs` + `heldBound` places ahead
// of the first unfinished one.
class BatchRun : public QObject {
    Q_OBJECT
public:
    BatchRun(const ServiceHosts &hosts, const PressGroups &groups, const QStringList &domains, const QString &trendDir,
             const BatchLimits &limits, QObject *parent = nullptr);

    // Scraping rules replacing the built-in ones; they must outlive the batch.
    void setRules(const ScrapeRules *rules) { m_rules = rules; }
    // Only these rows (handler names) of a domain are asked (--resume); a
    // domain not named asks every row of the groups.
    void setOnlyRows(QHash<QString, QSet<QString>> rows) { m_onlyRows = std::move(rows); }
    // Every domain's answers kept in `archive` (--save-pages).
    void setArchive(PageArchive *archive) { m_archive = archive; }
    // `emitResult` receives each result in input order; `finished` follows the last.
    void start(std::function<void(const DomainResult &)> emitResult);
    BatchState state() const;
    HostGate &gate() { return m_gate; }

Q_SIGNALS:
    void progressed();
    // A request failed at the proxy, not at its host.
    void proxyFailed();
    void finished();

private:
    void fill();
    void scheduleFill();
    void finishOne();
    void flush();

    ServiceHosts m_hosts;
    PressGroups m_groups;
    QStringList m_domains;
    QString m_trendDir;
    BatchLimits m_limits;
    HostGate m_gate;
    const ScrapeRules *m_rules = nullptr;
    PageArchive *m_archive = nullptr;
    std::function<void(const DomainResult &)> m_emit;
    int m_next = 0; // the next domain to start
    int m_nextOut = 0; // the next domain to hand out
    QSet<DomainRun *> m_live; // started, not finished
    QHash<QString, QSet<QString>> m_onlyRows;
    bool m_fillPending = false;
    QMap<int, DomainResult> m_held; // finished, waiting for earlier ones
    QElapsedTimer m_clock;
};

} // namespace yz::cli
