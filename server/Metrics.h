#pragma once

#include "query/CellStatus.h"

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QString>

#include <array>
#include <functional>
#include <optional>

namespace yz::server {

// What the service counts for /metrics, from any thread. Names and labels
// are fixed words of the service, never text a client sent.
class Metrics {
public:
    // Why a request or connection was turned away.
    enum class Refusal { Malformed, TooLarge, Timeout, Connections, Pipeline, Suggestions, Registrations, Database };
    enum class Cache { Version, News, Rules, Rank, Picture, Home };

    void countRequest(const char *route, int status, double seconds);
    void countCache(Cache cache, bool hit);
    void countRefusal(Refusal why);
    void countDatabaseError();
    void countReconnect();
    // What a collector fetch came to (Empty and Waiting are not counted).
    void countOutcome(CellStatus::Cause cause);
    void setBudgetLeft(qint64 requests);
    void setDatabaseUp(bool up);
    // A gauge read when the metrics are rendered, on the rendering thread.
    void setOpenConnections(std::function<int()> read);

    // The Prometheus text exposition format.
    QByteArray render() const;

    // Bucket bounds of the answer-time histogram, in seconds.
    // Up to half a minute: a request that waits on a stuck database, or a
    // body that trickles, still lands in a bucket of its own.
    static constexpr std::array<double, 14> kBuckets = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1,
                                                        0.25,  0.5,    1.0,   2.5,  5.0,   10.0, 30.0};

    // Counts of answer times per bucket.
    struct Histogram {
        std::array<quint64, kBuckets.size()> buckets{}; // not cumulative
        quint64 count = 0;
        double sum = 0;
    };

private:
    mutable QMutex m_mutex;
    QHash<QPair<QByteArray, int>, quint64> m_requests; // (route, status)
    Histogram m_answerTime;
    QHash<QByteArray, Histogram> m_routeTime; // by route
    std::array<quint64, 6> m_cacheHits{};
    std::array<quint64, 6> m_cacheMisses{};
    std::array<quint64, 8> m_refusals{};
    std::array<quint64, 5> m_outcomes{};
    quint64 m_databaseErrors = 0;
    quint64 m_reconnects = 0;
    std::optional<qint64> m_budgetLeft; // unknown until the collector has looked
    bool m_databaseUp = true;
    std::function<int()> m_openConnections;
};

// The process's one set of metrics.
Metrics &metrics();

} // namespace yz::server
