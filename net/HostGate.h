#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <functional>

namespace yz {

// Paces the requests of every engine of a program that share it, host by
// host: at most `perHost` requests to one host in flight, and at least a delay
// between two requests leaving for one host, so that a service sees a steady,
// limited stream rather than bursts however many domains run at once.
class HostGate : public QObject {
    Q_OBJECT
public:
    static constexpr int kRefusalFloorMs = 1000; // the first refusal's delay when none was set
    static constexpr int kRefusalCeilingMs = 60000;

    HostGate(int perHost, int delayMs, QObject *parent = nullptr);

    // The first refusal's delay and the most a delay grows to.
    void setRefusalBounds(int floorMs, int ceilingMs)
    {
        m_refusalFloorMs = floorMs;
        m_refusalCeilingMs = ceilingMs;
    }

    // Runs `start` once the host has room: at once when it has, else later
    // from the event loop. Nothing runs for an owner gone by then. For a
    // host given up, `skip` runs instead (from the event loop), now or when
    // the host is given up while the request waits.
    void enqueue(const QString &host, QObject *owner, std::function<void()> start, std::function<void()> skip = {});
    // A request that `start` sent to the host has ended.
    void release(const QString &host);
    // The host refused automated queries: its delay doubles (from a floor, up
    // to a ceiling) for the rest of the run.
    void slowDown(const QString &host);

    // After this many refusals in a row a host is given up for the rest of
    // the run: its waiting and later requests are skipped (0: never).
    void setGiveUpAfter(int refusals) { m_giveUpAfter = std::max(0, refusals); }
    // How an answer of the host read: a refusal (slows the host down, and
    // may give it up), an answer (ends a run of refusals), a failure.
    void noteRefused(const QString &host);
    void noteAnswered(const QString &host);
    void noteFailed(const QString &host);
    bool givenUp(const QString &host) const;

    // What the run did with one host, for the summary.
    struct HostSummary {
        QString host;
        int requests = 0;
        int refusals = 0;
        int failures = 0;
        int delayMs = 0;
        bool givenUp = false;
    };
    QList<HostSummary> summary() const; // by host name
    // The hosts refusing now: slowed down by refusals and not given up.
    QList<HostSummary> refusing() const;

    // A host's own limit of requests in flight, instead of the gate's.
    void setLimit(const QString &host, int perHost);

    int delayMs(const QString &host) const;
    int inFlight(const QString &host) const;
    int inFlightTotal() const { return m_inFlightTotal; }
    int waitingTotal() const;
    // The host with requests outstanding whose answers take longest on
    // average so far, or empty; its mean answer time in `meanMs`.
    QString slowestHost(int *meanMs = nullptr) const;

Q_SIGNALS:
    // The host refused `refusals` times in a row and is asked no more.
    void gaveUp(const QString &host, int refusals);

private:
    struct Waiting {
        QPointer<QObject> owner;
        std::function<void()> start;
        std::function<void()> skip;
    };
    struct Host {
        std::deque<Waiting> waiting;
        std::deque<qint64> startedAt; // in flight, oldest first, in µs on m_clock
        int delayMs = 0;
        int limit = 0; // requests in flight at once; 0: the gate's
        qint64 lastStart = -1; // µs on m_clock
        qint64 answeredUs = 0; // total time of the answers so far
        int answered = 0;
        bool timerArmed = false;
        int requests = 0;
        int refusals = 0;
        int refusedInARow = 0;
        int failures = 0;
        bool givenUp = false;
    };

    Host &hostFor(const QString &host); // made with the run's delay when new
    void pump(const QString &host);
    void skipWaiting(Host &h);
    qint64 nowUs() const;

    int m_perHost;
    int m_delayMs;
    int m_refusalFloorMs = kRefusalFloorMs;
    int m_refusalCeilingMs = kRefusalCeilingMs;
    int m_inFlightTotal = 0;
    int m_giveUpAfter = 0;
    QHash<QString, Host> m_hosts;
    QElapsedTimer m_clock;
};

} // namespace yz
