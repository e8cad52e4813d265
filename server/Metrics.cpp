#include "server/Metrics.h"

#include <algorithm>
#include <map>

namespace yz::server {
namespace {

const char *const kRefusalNames[] = {"malformed", "too_large",   "timeout",       "connections",
                                     "pipeline",  "suggestions", "registrations", "database"};
const char *const kOutcomeNames[] = {"counted", "none", "refused", "unrecognised", "failed"};
const char *const kCacheNames[] = {"version", "news", "rules", "rank", "picture"};

void header(QByteArray &out, const char *name, const char *type, const char *help)
{
    out += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
}

QByteArray number(double value)
{
    return QByteArray::number(value, 'g', 12);
}

template <std::size_t N>
void labelled(QByteArray &out, const char *name, const char *label, const char *const (&names)[N],
              const std::array<quint64, N> &values)
{
    for (std::size_t i = 0; i < N; ++i)
        out += QByteArray(name) + '{' + label + "=\"" + names[i] + "\"} " + QByteArray::number(values[i]) + '\n';
}

} // namespace

Metrics &metrics()
{
    static Metrics instance;
    return instance;
}

void Metrics::countRequest(const char *route, int status, double seconds)
{
    QMutexLocker lock(&m_mutex);
    ++m_requests[{QByteArray(route), status}];
    const auto bucket = std::lower_bound(kBuckets.begin(), kBuckets.end(), seconds);
    if (bucket != kBuckets.end())
        ++m_answerTime.buckets[std::size_t(bucket - kBuckets.begin())];
    ++m_answerTime.count;
    m_answerTime.sum += seconds;
}

void Metrics::countCache(Cache cache, bool hit)
{
    QMutexLocker lock(&m_mutex);
    ++(hit ? m_cacheHits : m_cacheMisses)[std::size_t(cache)];
}

void Metrics::countRefusal(Refusal why)
{
    QMutexLocker lock(&m_mutex);
    ++m_refusals[std::size_t(why)];
}

void Metrics::countDatabaseError()
{
    QMutexLocker lock(&m_mutex);
    ++m_databaseErrors;
}

void Metrics::countReconnect()
{
    QMutexLocker lock(&m_mutex);
    ++m_reconnects;
}

void Metrics::countOutcome(Outcome outcome)
{
    QMutexLocker lock(&m_mutex);
    ++m_outcomes[std::size_t(outcome)];
}

void Metrics::setBudgetLeft(qint64 requests)
{
    QMutexLocker lock(&m_mutex);
    m_budgetLeft = requests;
}

void Metrics::setOpenConnections(std::function<int()> read)
{
    QMutexLocker lock(&m_mutex);
    m_openConnections = std::move(read);
}

QByteArray Metrics::render() const
{
    QMutexLocker lock(&m_mutex);
    QByteArray out;
    header(out, "yanzhou_http_requests_total", "counter", "Requests answered, by route and status.");
    // Sorted, so that the output is stable from one scrape to the next.
    const std::map<QPair<QByteArray, int>, quint64> requests(m_requests.keyValueBegin(), m_requests.keyValueEnd());
    for (const auto &[key, count] : requests)
        out += "yanzhou_http_requests_total{route=\"" + key.first + "\",status=\"" + QByteArray::number(key.second)
                + "\"} " + QByteArray::number(count) + '\n';

    header(out, "yanzhou_http_answer_seconds", "histogram", "Time from a request's arrival to its answer.");
    quint64 cumulative = 0;
    for (std::size_t i = 0; i < kBuckets.size(); ++i) {
        cumulative += m_answerTime.buckets[i];
        out += "yanzhou_http_answer_seconds_bucket{le=\"" + number(kBuckets[i]) + "\"} "
                + QByteArray::number(cumulative) + '\n';
    }
    out += "yanzhou_http_answer_seconds_bucket{le=\"+Inf\"} " + QByteArray::number(m_answerTime.count) + '\n';
    out += "yanzhou_http_answer_seconds_sum " + number(m_answerTime.sum) + '\n';
    out += "yanzhou_http_answer_seconds_count " + QByteArray::number(m_answerTime.count) + '\n';

    header(out, "yanzhou_cache_hits_total", "counter", "Answers served from a cache, by cache.");
    labelled(out, "yanzhou_cache_hits_total", "cache", kCacheNames, m_cacheHits);
    header(out, "yanzhou_cache_misses_total", "counter", "Answers that had to ask the database, by cache.");
    labelled(out, "yanzhou_cache_misses_total", "cache", kCacheNames, m_cacheMisses);

    header(out, "yanzhou_open_connections", "gauge", "Client connections open now.");
    out += "yanzhou_open_connections " + QByteArray::number(m_openConnections ? m_openConnections() : 0) + '\n';

    header(out, "yanzhou_refusals_total", "counter", "Requests or connections turned away, by the limit they hit.");
    labelled(out, "yanzhou_refusals_total", "limit", kRefusalNames, m_refusals);

    header(out, "yanzhou_database_errors_total", "counter", "Database work that failed.");
    out += "yanzhou_database_errors_total " + QByteArray::number(m_databaseErrors) + '\n';
    header(out, "yanzhou_database_reconnects_total", "counter", "Connections to the database opened again.");
    out += "yanzhou_database_reconnects_total " + QByteArray::number(m_reconnects) + '\n';

    header(out, "yanzhou_collector_outcomes_total", "counter", "The collector's fetches, by what they came to.");
    labelled(out, "yanzhou_collector_outcomes_total", "kind", kOutcomeNames, m_outcomes);
    header(out, "yanzhou_collector_budget_remaining", "gauge",
           "Requests left in today's collecting budget of all instances (-1: not yet known).");
    out += "yanzhou_collector_budget_remaining " + QByteArray::number(m_budgetLeft) + '\n';
    return out;
}

} // namespace yz::server
