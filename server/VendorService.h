#pragma once

#include "server/Metrics.h"
#include "server/RequestFraming.h"
#include "server/SharedAnswers.h"
#include "server/VendorStore.h"

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QHttpServerRequest>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

namespace yz::server {

class ConnectionGuard;
class DatabaseThread;

struct ServiceConfig {
    QString publicBase = QStringLiteral("http://127.0.0.1:8080"); // how clients reach this service
    QString downloadsDir; // where the package files lie; empty: no download
    int suggestionsPerHour = 10; // per client address
    int registrationsPerHour = 10; // per client address
    bool behindProxy = false; // take the client address from X-Forwarded-For
    qint64 trackCap = 10'000; // domains tracked because their picture was asked for
};

// The name the download page offers the package under, whatever the newest
// package file in the downloads directory is called.
inline constexpr char kPackageFile[] = "yanzhou_amd64.deb";

// An answer before it goes on the wire.
struct Reply {
    Reply() = default;
    Reply(HttpStatus status, QByteArray contentType, QByteArray body, bool page = false)
        : status(status)
        , contentType(std::move(contentType))
        , body(std::move(body))
        , page(page)
    {
    }

    HttpStatus status = HttpStatus::Ok;
    QByteArray contentType;
    QByteArray body;
    bool page = false; // HTML: sent with the content security policy
    QList<QPair<QByteArray, QByteArray>> headers;
};

// The vendor's web service: what the window asks at start-up and with each
// query, the pages it opens in the browser, and the register form. Routes
// take the request's path and query as data only. Nothing here touches the
// database: what is not cached is asked of the database thread, and a
// request is answered when that answers, or with 503 when it cannot. Each
// HTTP thread has one; what they keep and count is in the SharedAnswers
// they are given.
class VendorService : public QAbstractHttpServer {
    Q_OBJECT
public:
    using Done = std::function<void(const Reply &)>;

    VendorService(ServiceConfig config, DatabaseThread &database, SharedAnswers &shared, QObject *parent = nullptr);

    // Serves the connections the guard lets through.
    void serveOn(ConnectionGuard *guard);

    // Answers one request through `done`, at once or once the database has
    // answered (public so that tests and benchmarks can ask without a socket).
    using Method = QHttpServerRequest::Method;
    void answer(Method method, const QUrl &url, const QByteArray &body, const QString &client, Done done);

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    struct Route {
        enum Kind {
            Suggestion,
            Register,
            Version,
            News,
            Rules,
            PageRankAddress,
            PageRank,
            TopSitesRank,
            Picture,
            Style,
            Lookup,
            Chart,
            Download,
            Home,
            Favicon,
            Domain
        } kind;
        const char *name; // its label in the metrics
        QString path;
        bool prefix; // the path begins with `path`, else it is `path`
    };
    static const Route &routeOf(const QString &path);
    // Answers a request whose route is known.
    void dispatch(const Route &route, Method method, const QUrl &url, const QByteArray &body, const QString &client,
                  Done done, const QByteArray &ifNoneMatch = {});

    // Runs `read` on the database thread; `done` gets `make` of its result,
    // or 503.
    template <typename T>
    void withStore(std::function<std::optional<T>(VendorStore &)> read, std::function<Reply(T)> make, Done done);
    // Answers from the kept answer when it was made in the data's current
    // generation; otherwise reads the value from the database, keeps its
    // `body` and answers. `reply` makes the answer from the body either way.
    template <typename T>
    void perGeneration(SharedAnswers::Kept kept, Metrics::Cache which,
                       std::function<std::optional<T>(VendorStore &)> read, std::function<QByteArray(const T &)> body,
                       std::function<Reply(const QByteArray &)> reply, Done done);
    void version(Done done);
    void news(Done done);
    void publishedRules(const QUrl &url, const QByteArray &ifNoneMatch, Done done);
    Reply pageRankAddress(const QString &typed);
    void pageRank(const QString &typed, Done done);
    void topSitesRank(const QString &typed, Done done);
    // A rank answer read from the ranks table, cached per data generation
    // under `key`: `body` makes it from the host's position (0: not listed).
    void rankAnswer(const QString &key, const QString &host, QByteArray (*body)(qint64 position), Done done);
    void trendPicture(const QString &typed, Done done);
    void historyChart(const QString &name, Done done);
    void picture(const QString &host, SharedAnswers::Picture kind, Done done);
    Reply lookup(const QString &typed);
    void suggestion(const QByteArray &body, const QString &client, Done done);
    void home(Done done);
    void updatePage(Done done);
    Reply download(const QString &name);
    Reply registerForm(const QString &typed);
    void registerDomain(const QByteArray &body, const QString &client, Done done);
    void domainPage(const QString &typed, int page, Done done);
    void trackAsked(const QString &host);
    QString clientOf(const QHttpServerRequest &request) const;

    ServiceConfig m_config;
    DatabaseThread &m_database;
    ConnectionGuard *m_guard = nullptr;
    SharedAnswers &m_shared;
};

} // namespace yz::server
