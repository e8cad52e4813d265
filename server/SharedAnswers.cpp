#include "server/SharedAnswers.h"

#include <QMutexLocker>

namespace yz::server {
namespace {

constexpr int kPictureCacheEntries = 4096;
constexpr int kChartCacheEntries = 512; // a large chart weighs ten thumbnails
constexpr qsizetype kRememberedHosts = 100'000;

} // namespace

SharedAnswers::SharedAnswers(int suggestionsPerHour, int registrationsPerHour)
    : m_ranks(kPictureCacheEntries * 4)
    , m_pictures(kPictureCacheEntries)
    , m_charts(kChartCacheEntries)
    , m_suggestions(suggestionsPerHour)
    , m_registrations(registrationsPerHour)
{
}

std::optional<QByteArray> SharedAnswers::kept(Kept which, quint64 generation) const
{
    QMutexLocker lock(&m_mutex);
    const Answer &answer = m_kept[std::size_t(which)];
    return answer.generation == generation ? std::optional(answer.body) : std::nullopt;
}

void SharedAnswers::keep(Kept which, quint64 generation, const QByteArray &body)
{
    QMutexLocker lock(&m_mutex);
    m_kept[std::size_t(which)] = {generation, body};
}

std::optional<QByteArray> SharedAnswers::rank(const QString &key, quint64 generation) const
{
    QMutexLocker lock(&m_mutex);
    const Answer *answer = m_ranks.object(key);
    return answer && answer->generation == generation ? std::optional(answer->body) : std::nullopt;
}

void SharedAnswers::keepRank(const QString &key, quint64 generation, const QByteArray &body)
{
    QMutexLocker lock(&m_mutex);
    m_ranks.insert(key, new Answer{generation, body});
}

SharedAnswers::FoundPicture SharedAnswers::picture(Picture kind, const QString &host, quint64 generation) const
{
    QMutexLocker lock(&m_mutex);
    const Drawn *kept = drawn(kind).object(host);
    if (!kept)
        return {};
    return {kept->generation == generation, kept->revision, kept->bytes};
}

std::optional<QByteArray> SharedAnswers::renewPicture(Picture kind, const QString &host, quint64 generation)
{
    QMutexLocker lock(&m_mutex);
    Drawn *kept = drawn(kind).object(host);
    if (!kept)
        return std::nullopt;
    kept->generation = generation;
    return kept->bytes;
}

void SharedAnswers::keepPicture(Picture kind, const QString &host, qint64 revision, quint64 generation,
                                const QByteArray &bytes)
{
    QMutexLocker lock(&m_mutex);
    drawn(kind).insert(host, new Drawn{revision, generation, bytes});
}

int SharedAnswers::forgetDrawn()
{
    QMutexLocker lock(&m_mutex);
    const int dropped = int(m_pictures.count() + m_charts.count() + m_ranks.count());
    m_pictures.clear();
    m_charts.clear();
    m_ranks.clear();
    return dropped;
}

bool SharedAnswers::allowSuggestion(const QString &client)
{
    QMutexLocker lock(&m_mutex);
    return m_suggestions.allow(client);
}

bool SharedAnswers::allowRegistration(const QString &client)
{
    QMutexLocker lock(&m_mutex);
    return m_registrations.allow(client);
}

bool SharedAnswers::firstAsk(const QString &host)
{
    QMutexLocker lock(&m_mutex);
    if (m_askedHosts.contains(host))
        return false;
    if (m_askedHosts.size() >= kRememberedHosts)
        m_askedHosts.clear();
    m_askedHosts.insert(host);
    return true;
}

} // namespace yz::server
