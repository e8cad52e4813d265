#pragma once

#include "server/ChangeWatch.h"
#include "server/SuggestionLimiter.h"
#include "server/VendorStore.h"

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QCache>
#include <QSet>
#include <QString>

class QHttpServerRequest;

namespace yz::server {

class Database;

struct ServiceConfig {
    QString publicBase = QStringLiteral("http://127.0.0.1:8080"); // how clients reach this service
    QString downloadsDir; // where the package file lies; empty: no download
    int suggestionsPerHour = 10; // per client address
    bool behindProxy = false; // take the client address from X-Forwarded-For
    qint64 trackCap = 10'000; // domains tracked because their picture was asked for
};

// The package file the download page offers, looked for in the downloads
// directory under this name only.
inline constexpr char kPackageFile[] = "yanzhou_amd64.deb";

// An answer before it goes on the wire.
struct Reply {
    Reply() = default;
    Reply(int status, QByteArray contentType, QByteArray body, bool page = false)
        : status(status)
        , contentType(std::move(contentType))
        , body(std::move(body))
        , page(page)
    {
    }

    int status = 200;
    QByteArray contentType;
    QByteArray body;
    bool page = false; // HTML: sent with the content security policy
    QList<QPair<QByteArray, QByteArray>> headers;
};

// The vendor's web service: what the window asks at start-up and with each
// query, the pages it opens in the browser, and the register form. Routes
// take the request's path and query as data only.
class VendorService : public QAbstractHttpServer {
    Q_OBJECT
public:
    VendorService(ServiceConfig config, Database &database, QObject *parent = nullptr);

    // The answer to one request (public so that tests can ask without a socket).
    Reply answer(const QByteArray &method, const QUrl &url, const QByteArray &body, const QString &client);

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    Reply route(const QByteArray &method, const QUrl &url, const QByteArray &body, const QString &client);
    Reply version();
    Reply news();
    Reply pageRankAddress(const QString &typed);
    Reply pageRank(const QString &typed);
    Reply trendPicture(const QString &typed);
    Reply suggestion(const QByteArray &body, const QString &client);
    Reply home();
    Reply updatePage();
    Reply download(const QString &name);
    Reply registerForm(const QString &typed);
    Reply registerDomain(const QByteArray &body);
    Reply domainPage(const QString &typed);
    Reply unavailable();
    int rankOf(const QString &host, bool *ok);
    QString clientOf(const QHttpServerRequest &request) const;

    ServiceConfig m_config;
    Database &m_database;
    VendorStore m_store;
    SuggestionLimiter m_limiter;
    // Answers kept until the data changes: each remembers the generation of
    // ChangeWatch it was last known good in.
    ChangeWatch m_changes;
    struct CachedAnswer {
        quint64 generation = 0;
        QByteArray body;
    };
    CachedAnswer m_versionAnswer;
    CachedAnswer m_newsAnswer;
    QCache<QString, CachedAnswer> m_rankAnswers;
    struct CachedPicture {
        qint64 revision;
        quint64 generation;
        QByteArray jpeg;
    };
    QCache<QString, CachedPicture> m_pictures;
    QByteArray m_noDataPicture;
    void trackAsked(const QString &host);
    QSet<QString> m_askedHosts; // hosts whose picture request was already counted
    std::optional<qint64> m_trackedByPictures;
};

} // namespace yz::server
