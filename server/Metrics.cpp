#include "server/Metrics.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <map>
#include <unistd.h>

namespace yz::server {
namespace {

const char *const kRefusalNames[] = {"malformed", "too_large",   "timeout",       "connections",
                                     "pipeline",  "suggestions", "registrations", "database"};
const char *const kOutcomeNames[] = {"counted", "none", "refused", "unrecognised", "failed"};
const char *const kCacheNames[] = {"version", "news", "rules", "rank", "picture", "home"};

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

void observe(Metrics::Histogram &h, double seconds)
{
    const auto bucket = std::lower_bound(Metrics::kBuckets.begin(), Metrics::kBuckets.end(), seconds);
    if (bucket != Metrics::kBuckets.end())
        ++h.buckets[std::size_t(bucket - Metrics::kBuckets.begin())];
    ++h.count;
    h.sum += seconds;
}

void histogram(QByteArray &out, const QByteArray &name, const QByteArray &labels, const Metrics::Histogram &h)
{
    const QByteArray prefix = labels.isEmpty() ? QByteArray() : labels + ',';
    const QByteArray braces = labels.isEmpty() ? QByteArray() : '{' + labels + '}';
    quint64 cumulative = 0;
    for (std::size_t i = 0; i < Metrics::kBuckets.size(); ++i) {
        cumulative += h.buckets[i];
        out += name + "_bucket{" + prefix + "le=\"" + number(Metrics::kBuckets[i]) + "\"} "
                + QByteArray::number(cumulative) + '\n';
    }
    out += name + "_bucket{" + prefix + "le=\"+Inf\"} " + QByteArray::number(h.count) + '\n';
    out += name + "_sum" + braces + ' ' + number(h.sum) + '\n';
    out += name + "_count" + braces + ' ' + QByteArray::number(h.count) + '\n';
}

// The process's own figures, as every Prometheus client reports them.
void processMetrics(QByteArray &out)
{
    static const qint64 started = QDateTime::currentSecsSinceEpoch();
    const long page = sysconf(_SC_PAGESIZE), ticks = sysconf(_SC_CLK_TCK);
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (statm.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> fields = statm.readAll().split(' ');
        header(out, "process_resident_memory_bytes", "gauge", "Resident memory size in bytes.");
        out += "process_resident_memory_bytes " + QByteArray::number(fields.value(1).toLongLong() * page) + '\n';
        header(out, "process_virtual_memory_bytes", "gauge", "Virtual memory size in bytes.");
        out += "process_virtual_memory_bytes " + QByteArray::number(fields.value(0).toLongLong() * page) + '\n';
    }
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (stat.open(QIODevice::ReadOnly)) {
        // The fields after the command's closing parenthesis; utime and stime
        // are the 14th and 15th of the line.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        const double cpu = double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) / double(ticks);
        header(out, "process_cpu_seconds_total", "counter", "Total user and system CPU time spent in seconds.");
        out += "process_cpu_seconds_total " + number(cpu) + '\n';
    }
    header(out, "process_open_fds", "gauge", "Number of open file descriptors.");
    out += "process_open_fds "
            + QByteArray::number(QDir(QStringLiteral("/proc/self/fd"))
                                         .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                                         .size())
            + '\n';
    header(out, "process_max_fds", "gauge", "Maximum number of open file descriptors.");
    out += "process_max_fds " + QByteArray::number(qint64(sysconf(_SC_OPEN_MAX))) + '\n';
    header(out, "process_start_time_seconds", "gauge", "Start time of the process since unix epoch in seconds.");
    out += "process_start_time_seconds " + QByteArray::number(started) + '\n';
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
    observe(m_answerTime, seconds);
    observe(m_routeTime[QByteArray(route)], seconds);
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

void Metrics::countOutcome(CellStatus::Cause cause)
{
    using Cause = CellStatus::Cause;
    // In the order of kOutcomeNames.
    static const Cause kOrder[] = {Cause::Ok, Cause::None, Cause::Refused, Cause::Unrecognised, Cause::Failed};
    const auto at = std::find(std::begin(kOrder), std::end(kOrder), cause);
    if (at == std::end(kOrder))
        return;
    QMutexLocker lock(&m_mutex);
    ++m_outcomes[std::size_t(at - std::begin(kOrder))];
}

void Metrics::setBudgetLeft(qint64 requests)
{
    QMutexLocker lock(&m_mutex);
    m_budgetLeft = requests;
}

void Metrics::setDatabaseUp(bool up)
{
    QMutexLocker lock(&m_mutex);
    m_databaseUp = up;
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
    histogram(out, "yanzhou_http_answer_seconds", QByteArray(), m_answerTime);
    header(out, "yanzhou_http_route_answer_seconds", "histogram",
           "Time from a request's arrival to its answer, by route.");
    const std::map<QByteArray, Metrics::Histogram> routes(m_routeTime.keyValueBegin(), m_routeTime.keyValueEnd());
    for (const auto &[route, h] : routes)
        histogram(out, "yanzhou_http_route_answer_seconds", "route=\"" + route + '"', h);

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
    // Left out until the collector has looked, rather than a made-up value.
    if (m_budgetLeft) {
        header(out, "yanzhou_collector_budget_remaining", "gauge",
               "Requests left in today's collecting budget of all instances.");
        out += "yanzhou_collector_budget_remaining " + QByteArray::number(*m_budgetLeft) + '\n';
    }
    header(out, "yanzhou_database_up", "gauge", "1 while the database answers, 0 while it is lost.");
    out += QByteArray("yanzhou_database_up ") + (m_databaseUp ? "1" : "0") + '\n';
    header(out, "yanzhou_build_info", "gauge", "The program's version, as a label; always 1.");
    out += "yanzhou_build_info{version=\"" + QByteArray::number(YZ_PROGRAM_VERSION) + "\"} 1\n";
    lock.unlock(); // the process's figures are read from /proc, not the counters
    processMetrics(out);
    return out;
}

} // namespace yz::server
