#pragma once

#include "server/AddressLimiter.h"

#include <QByteArray>
#include <QCache>
#include <QMutex>
#include <QSet>
#include <QString>

#include <array>
#include <optional>

namespace yz::server {

// What the service's HTTP threads share, so that a client is answered alike
// whichever thread its connection landed on: the answers kept until the data
// changes, the drawn pictures, the per-address limits and the hosts whose
// picture requests were already counted. One mutex guards it all; it is held
// only to look up or store, never while reading the database or drawing.
class SharedAnswers {
public:
    SharedAnswers(int suggestionsPerHour, int registrationsPerHour);

    // The answers kept per data generation, one of each kind.
    enum class Kept { Version, News, Home, Rules };
    // The kept body when it was made in `generation`.
    std::optional<QByteArray> kept(Kept which, quint64 generation) const;
    void keep(Kept which, quint64 generation, const QByteArray &body);

    // Rank answers, by key ("pr:HOST", "top:HOST").
    std::optional<QByteArray> rank(const QString &key, quint64 generation) const;
    void keepRank(const QString &key, quint64 generation, const QByteArray &body);

    // The window's thumbnails and the pages' large charts, drawn once per
    // change of a domain's history (its revision).
    enum class Picture { Thumbnail, Large };
    struct FoundPicture {
        bool current = false; // drawn in this generation: `bytes` is the answer
        qint64 revision = -1; // of the kept picture; -1: none kept
        QByteArray bytes;
    };
    FoundPicture picture(Picture kind, const QString &host, quint64 generation) const;
    // The kept picture, still good in `generation` (its revision unchanged);
    // nothing when it was dropped meanwhile.
    std::optional<QByteArray> renewPicture(Picture kind, const QString &host, quint64 generation);
    void keepPicture(Picture kind, const QString &host, qint64 revision, quint64 generation, const QByteArray &bytes);

    // Drops the pictures and ranks; how many entries were dropped.
    int forgetDrawn();

    bool allowSuggestion(const QString &client);
    bool allowRegistration(const QString &client);
    // True the first time a host's picture is asked for (remembered for the
    // last 100,000 hosts).
    bool firstAsk(const QString &host);

    // Domains tracked because of picture requests; read and written on the
    // database thread only.
    std::optional<qint64> trackedByPictures;

private:
    struct Answer {
        quint64 generation = 0;
        QByteArray body;
    };
    struct Drawn {
        qint64 revision;
        quint64 generation;
        QByteArray bytes;
    };
    QCache<QString, Drawn> &drawn(Picture kind) { return kind == Picture::Large ? m_charts : m_pictures; }
    const QCache<QString, Drawn> &drawn(Picture kind) const { return kind == Picture::Large ? m_charts : m_pictures; }

    mutable QMutex m_mutex;
    std::array<Answer, 4> m_kept;
    QCache<QString, Answer> m_ranks;
    QCache<QString, Drawn> m_pictures;
    QCache<QString, Drawn> m_charts;
    AddressLimiter m_suggestions;
    AddressLimiter m_registrations;
    QSet<QString> m_askedHosts;
};

} // namespace yz::server
