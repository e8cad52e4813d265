#include "server/VendorService.h"

#include "net/TextDecoding.h"
#include "parsers/PublishedRules.h"
#include "server/CollectQueue.h"
#include "server/ConnectionGuard.h"
#include "server/DatabaseThread.h"
#include "server/DomainName.h"
#include "server/Downloads.h"
#include "server/HistoryChart.h"
#include "server/Log.h"
#include "server/Metrics.h"
#include "server/Pages.h"
#include "server/RankScale.h"
#include "server/RequestFraming.h"
#include "server/RulesStore.h"
#include "server/SuggestionForm.h"
#include "server/TrendChart.h"
#include "services/VendorAnswers.h"
#include "services/VendorPaths.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHttpServerRequest>
#include <QLocale>
#include <QTcpSocket>
#include <QUrlQuery>

namespace yz::server {
namespace {

const QByteArray kPlainGbk = QByteArrayLiteral("text/plain; charset=gbk");
const QByteArray kPlainUtf8 = QByteArrayLiteral("text/plain; charset=utf-8");
const QByteArray kHtml = QByteArrayLiteral("text/html; charset=utf-8");
const QByteArray kPagePolicy = QByteArrayLiteral("default-src 'none'; style-src 'self'; img-src 'self'; "
                                                 "form-action 'self'; base-uri 'none'; frame-ancestors 'none'");
const QString kRankPage = QStringLiteral("/pr/");
const QString kStyleSheet = QStringLiteral("/style.css");
const QString kDownloads = QStringLiteral("/download/");

// A request method's name in the access log.
const char *methodName(QHttpServerRequest::Method method)
{
    using M = QHttpServerRequest::Method;
    static const QHash<M, const char *> kNames = {
            {M::Get, "GET"},     {M::Post, "POST"},     {M::Head, "HEAD"},
            {M::Put, "PUT"},     {M::Delete, "DELETE"}, {M::Options, "OPTIONS"},
            {M::Patch, "PATCH"}, {M::Trace, "TRACE"},   {M::Connect, "CONNECT"},
    };
    return kNames.value(method, "OTHER");
}

// One line per answered request: client, method, path (cut, printable),
// status, bytes, milliseconds.
void logAccess(const QString &client, QHttpServerRequest::Method method, const QUrl &url, int status, qint64 bytes,
               double seconds)
{
    constexpr qsizetype kShownPath = 200;
    if (!lcAccess().isInfoEnabled())
        return;
    QString target = url.toString(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::FullyEncoded);
    if (target.size() > kShownPath)
        target = target.left(kShownPath) + QStringLiteral("...");
    qCInfo(lcAccess, "%s %s %s %d %lld %.1fms", qPrintable(client), methodName(method), qPrintable(target), status,
           bytes, seconds * 1000);
}

QString fromUtf16(const char16_t *text)
{
    return QString::fromUtf16(text);
}

// The part of a path-and-query after a fixed prefix of the path, the query
// included: a domain typed with "?" in it arrives split there.
QString afterPrefix(const QUrl &url, const QString &prefix)
{
    QString text = url.path(QUrl::FullyDecoded).mid(prefix.size());
    if (url.hasQuery())
        text += u'?' + url.query(QUrl::FullyDecoded);
    return text;
}

// The text after "dm=" of a query: everything, "&" and "=" included, because
// the window sends the domain as typed.
QString typedDomainQuery(const QUrl &url)
{
    const QString query = url.query(QUrl::FullyDecoded);
    return query.startsWith(QLatin1String("dm=")) ? query.mid(3) : QString();
}

// Counts whether an answer came from its cache.
bool cacheHit(Metrics::Cache cache, bool hit)
{
    metrics().countCache(cache, hit);
    return hit;
}

Reply plain(HttpStatus status, const QString &text)
{
    return {status, kPlainUtf8, text.toUtf8()};
}

Reply htmlPage(HttpStatus status, QByteArray page)
{
    return {status, kHtml, std::move(page), true};
}

// An answer the window reads as GBK text.
Reply plainGbk(const QByteArray &body)
{
    return {HttpStatus::Ok, kPlainGbk, body};
}

Reply notFound()
{
    return htmlPage(HttpStatus::NotFound, notFoundPage());
}

Reply methodNotAllowed(const QByteArray &allowed)
{
    Reply reply = plain(HttpStatus::MethodNotAllowed, QStringLiteral("此地址不接受这种请求。"));
    reply.headers.append({QByteArrayLiteral("Allow"), allowed});
    return reply;
}

Reply unavailable()
{
    metrics().countRefusal(Metrics::Refusal::Database);
    return plain(HttpStatus::ServiceUnavailable, QStringLiteral("服务暂时繁忙，请稍后再试。"));
}

// The Date header's value (RFC 9110's IMF-fixdate), made once a second.
QByteArray httpDate()
{
    thread_local qint64 madeAt = -1;
    thread_local QByteArray text;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (now.toSecsSinceEpoch() != madeAt) {
        madeAt = now.toSecsSinceEpoch();
        text = QLocale::c().toString(now, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'")).toLatin1();
    }
    return text;
}

// The status line and headers of an answer; the guard adds the length. A
// 503 (the database away) says to try again in a few seconds, a 429 (a
// per-hour limit) in an hour.
QByteArray responseHead(const Reply &reply)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(code(reply.status)) + ' ' + reasonPhrase(reply.status);
    head += "\r\nDate: " + httpDate();
    if (reply.status == HttpStatus::ServiceUnavailable)
        head += "\r\nRetry-After: 5";
    else if (reply.status == HttpStatus::TooManyRequests)
        head += "\r\nRetry-After: 3600";
    head += "\r\nContent-Type: " + reply.contentType;
    head += "\r\nX-Content-Type-Options: nosniff";
    if (reply.page)
        head += "\r\nContent-Security-Policy: " + kPagePolicy;
    for (const auto &[name, value] : reply.headers)
        head += "\r\n" + name + ": " + value;
    return head;
}

// The position of a host in the imported table, tried under its lookup
// names (0: not listed); nothing when the database failed.
std::optional<qint64> positionOf(VendorStore &store, const QString &host)
{
    for (const QString &name : rankLookupNames(host)) {
        const std::optional<qint64> position = store.rankPosition(name);
        if (!position || *position > 0)
            return position;
    }
    return 0;
}

// The rank of a host on the toolbar scale; nothing when the database failed.
std::optional<int> toolbarRankOf(VendorStore &store, const QString &host)
{
    const std::optional<qint64> position = positionOf(store, host);
    return position ? std::optional<int>(toolbarRank(*position)) : std::nullopt;
}

QByteArray pageRankBody(qint64 position)
{
    return "Rank_1:1:" + QByteArray::number(toolbarRank(position)) + '\n';
}

QByteArray topSitesBody(qint64 position)
{
    return "TopRank:" + QByteArray::number(position) + '\n';
}

} // namespace

VendorService::VendorService(ServiceConfig config, DatabaseThread &database, SharedAnswers &shared, QObject *parent)
    : QAbstractHttpServer(parent)
    , m_config(std::move(config))
    , m_database(database)
    , m_shared(shared)
{
    while (m_config.publicBase.endsWith(u'/'))
        m_config.publicBase.chop(1);
}

void VendorService::serveOn(ConnectionGuard *guard)
{
    m_guard = guard;
    bind(guard);
}

bool VendorService::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    QPointer<QTcpSocket> target(socket);
    const Method method = request.method();
    const QString client = clientOf(request);
    const QUrl url = request.url();
    QElapsedTimer clock;
    clock.start();
    const Route &route = routeOf(url.path(QUrl::FullyDecoded));
    const bool domainRoute = route.kind == Route::Domain;
    const char *routeName = route.name;
    dispatch(
            route, method, url, request.body(), client,
            [this, target, method, client, url, clock, routeName, domainRoute](const Reply &reply) {
                const qint64 bytes = method == Method::Head ? 0 : reply.body.size();
                if (target && m_guard)
                    m_guard->respond(target, responseHead(reply), reply.body);
                const double seconds = double(clock.nsecsElapsed()) / 1e9;
                // A path that names no route and no domain is not a domain page.
                metrics().countRequest(domainRoute && reply.status == HttpStatus::NotFound ? "not_found" : routeName,
                                       code(reply.status), seconds);
                logAccess(client, method, url, code(reply.status), bytes, seconds);
            },
            request.value(QByteArrayLiteral("If-None-Match")));
    return true;
}

void VendorService::missingHandler(const QHttpServerRequest &, QTcpSocket *)
{
    // Every request is answered by handleRequest.
}

QString VendorService::clientOf(const QHttpServerRequest &request) const
{
    if (m_config.behindProxy) {
        const QByteArray forwarded = request.value(QByteArrayLiteral("X-Forwarded-For"));
        const QByteArray last = forwarded.split(',').last().trimmed();
        if (!last.isEmpty())
            return QString::fromLatin1(last.left(64));
    }
    return request.remoteAddress().toString();
}

template <typename T>
void VendorService::withStore(std::function<std::optional<T>(VendorStore &)> read, std::function<Reply(T)> make,
                              Done done)
{
    m_database.run<T>(this, std::move(read), [make = std::move(make), done = std::move(done)](std::optional<T> result) {
        done(result ? make(std::move(*result)) : unavailable());
    });
}

template <typename T>
void VendorService::perGeneration(SharedAnswers::Kept kept, Metrics::Cache which,
                                  std::function<std::optional<T>(VendorStore &)> read,
                                  std::function<QByteArray(const T &)> body,
                                  std::function<Reply(const QByteArray &)> reply, Done done)
{
    const quint64 generation = m_database.generation();
    const std::optional<QByteArray> cached = m_shared.kept(kept, generation);
    if (cacheHit(which, cached.has_value()))
        return done(reply(*cached));
    withStore<T>(
            std::move(read),
            [this, kept, generation, body = std::move(body), reply](const T &value) {
                const QByteArray made = body(value);
                m_shared.keep(kept, generation, made);
                return reply(made);
            },
            std::move(done));
}

const VendorService::Route &VendorService::routeOf(const QString &path)
{
    // The paths of the routes, made once (a request's query part cut off);
    // the first that matches answers, a domain's page when none does.
    static const QList<Route> routes = {
            {Route::Suggestion, "suggestion", fromUtf16(vendor::kSuggestion), false},
            {Route::Register, "register", fromUtf16(vendor::kRegisterDomainPage), false},
            {Route::Version, "version", fromUtf16(vendor::kVersionCheck).section(u'?', 0, 0), false},
            {Route::News, "news", fromUtf16(vendor::kNews).section(u'?', 0, 0), false},
            {Route::Rules, "rules", fromUtf16(vendor::kPublishedRules).section(u'?', 0, 0), false},
            {Route::PageRankAddress, "pagerank_address", fromUtf16(vendor::kPageRankUrl).section(u'?', 0, 0), false},
            {Route::PageRank, "pagerank", kRankPage, false},
            {Route::TopSitesRank, "toprank", fromUtf16(vendor::kTopSitesRank).section(u'?', 0, 0), false},
            {Route::Picture, "picture", fromUtf16(vendor::kTrendPicture), true},
            {Route::Style, "style", kStyleSheet, false},
            {Route::Lookup, "lookup", QStringLiteral("/lookup"), false},
            {Route::Chart, "chart", QStringLiteral("/chart/"), true},
            {Route::Download, "download", kDownloads, true},
            {Route::Home, "home", QStringLiteral("/"), false},
            // Browsers ask for it unbidden: answered at once, never as a domain's page.
            {Route::Favicon, "favicon", QStringLiteral("/favicon.ico"), false},
    };
    static const Route domain = {Route::Domain, "domain", QStringLiteral("/"), true};
    for (const Route &route : routes)
        if (route.prefix ? path.startsWith(route.path) : path == route.path)
            return route;
    return domain;
}

void VendorService::answer(Method method, const QUrl &url, const QByteArray &body, const QString &client, Done done)
{
    dispatch(routeOf(url.path(QUrl::FullyDecoded)), method, url, body, client, std::move(done));
}

void VendorService::dispatch(const Route &route, Method method, const QUrl &url, const QByteArray &body,
                             const QString &client, Done done, const QByteArray &ifNoneMatch)
{
    if (!url.isValid())
        return done(notFound());
    const bool get = method == Method::Get || method == Method::Head;
    const bool post = method == Method::Post;
    switch (route.kind) {
    case Route::Suggestion:
        return post ? suggestion(body, client, std::move(done)) : done(methodNotAllowed("POST"));
    case Route::Register:
        if (post)
            return registerDomain(body, client, std::move(done));
        if (get)
            return done(registerForm(QUrlQuery(url).queryItemValue(QStringLiteral("domain"), QUrl::FullyDecoded)));
        return done(methodNotAllowed("GET, POST"));
    default:
        break;
    }
    if (!get)
        return done(methodNotAllowed("GET"));
    switch (route.kind) {
    case Route::Version:
        return version(std::move(done));
    case Route::News:
        return news(std::move(done));
    case Route::Rules:
        return publishedRules(url, ifNoneMatch, std::move(done));
    case Route::Favicon:
        return done(notFound());
    case Route::PageRankAddress:
        return done(pageRankAddress(typedDomainQuery(url)));
    case Route::PageRank:
        return pageRank(typedDomainQuery(url), std::move(done));
    case Route::TopSitesRank:
        return topSitesRank(typedDomainQuery(url), std::move(done));
    case Route::Picture:
        return trendPicture(afterPrefix(url, route.path), std::move(done));
    case Route::Chart:
        return historyChart(url.path(QUrl::FullyDecoded).mid(route.path.size()), std::move(done));
    case Route::Lookup:
        return done(lookup(QUrlQuery(url).queryItemValue(QStringLiteral("domain"), QUrl::FullyDecoded)));
    case Route::Style:
        return done({HttpStatus::Ok, QByteArrayLiteral("text/css; charset=utf-8"), styleSheet()});
    case Route::Download:
        return done(download(url.path(QUrl::FullyDecoded).mid(route.path.size())));
    case Route::Home:
        return url.query() == QLatin1String("update") ? updatePage(std::move(done)) : home(std::move(done));
    default:
        return domainPage(afterPrefix(url, route.path), QUrlQuery(url).queryItemValue(QStringLiteral("page")).toInt(),
                          std::move(done));
    }
}

void VendorService::version(Done done)
{
    perGeneration<int>(
            SharedAnswers::Kept::Version, Metrics::Cache::Version, [](VendorStore &store) { return store.version(); },
            [](const int &v) { return QByteArray::number(v); }, plainGbk, std::move(done));
}

void VendorService::news(Done done)
{
    perGeneration<QList<NewsItem>>(
            SharedAnswers::Kept::News, Metrics::Cache::News, [](VendorStore &store) { return store.news(); },
            [](const QList<NewsItem> &items) {
                QList<std::pair<QString, QString>> pairs;
                for (const NewsItem &item : items)
                    pairs.append({item.title, item.address});
                return encodeGbk(newsAnswerText(pairs));
            },
            plainGbk, std::move(done));
}

void VendorService::publishedRules(const QUrl &url, const QByteArray &ifNoneMatch, Done done)
{
    // The client says which version it has, by ?ver= or by the ETag it was
    // given (If-None-Match, a list, "*" or W/ as HTTP allows); the same one
    // costs a 304.
    const QString has = QUrlQuery(url).queryItemValue(QStringLiteral("ver"));
    const auto reply = [has, ifNoneMatch](const QByteArray &served) {
        if (served.isEmpty())
            return notFound();
        const QByteArray version = servedVersion(served);
        const QByteArray tag = '"' + version + '"';
        bool matches = version == has.toLatin1();
        for (const QByteArray &given : ifNoneMatch.split(','))
            matches = matches || given.trimmed() == "*" || given.trimmed() == tag || given.trimmed() == "W/" + tag;
        Reply r = matches ? Reply{HttpStatus::NotModified, {}, {}} : Reply{HttpStatus::Ok, kPlainUtf8, served};
        r.headers.append({QByteArrayLiteral("ETag"), tag});
        r.headers.append({QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-cache")});
        return r;
    };
    perGeneration<QByteArray>(
            SharedAnswers::Kept::Rules, Metrics::Cache::Rules,
            [](VendorStore &store) { return RulesStore(store.database()).served(); },
            [](const QByteArray &served) { return served; }, reply, std::move(done));
}

Reply VendorService::pageRankAddress(const QString &typed)
{
    const QByteArray address =
            m_config.publicBase.toUtf8() + kRankPage.toLatin1() + "?dm=" + QUrl::toPercentEncoding(typed);
    return {HttpStatus::Ok, kPlainUtf8, address};
}

void VendorService::pageRank(const QString &typed, Done done)
{
    const QString host = hostKey(typed);
    rankAnswer(QStringLiteral("pr:") + host, host, pageRankBody, std::move(done));
}

void VendorService::topSitesRank(const QString &typed, Done done)
{
    const QString host = hostKey(typed);
    rankAnswer(QStringLiteral("top:") + host, host, topSitesBody, std::move(done));
}

void VendorService::rankAnswer(const QString &key, const QString &host, QByteArray (*body)(qint64 position), Done done)
{
    const quint64 generation = m_database.generation();
    if (const std::optional<QByteArray> cached = m_shared.rank(key, generation);
        cacheHit(Metrics::Cache::Rank, cached.has_value()))
        return done({HttpStatus::Ok, kPlainUtf8, *cached});
    if (host.isEmpty())
        return done({HttpStatus::Ok, kPlainUtf8, body(0)});
    withStore<qint64>([host](VendorStore &store) { return positionOf(store, host); },
                      [this, key, generation, body](qint64 position) {
                          const QByteArray answer = body(position);
                          m_shared.keepRank(key, generation, answer);
                          return Reply{HttpStatus::Ok, kPlainUtf8, answer};
                      },
                      std::move(done));
}

void VendorService::trendPicture(const QString &typed, Done done)
{
    const QString end = fromUtf16(vendor::kTrendPictureEnd);
    if (!typed.endsWith(end))
        return done(notFound());
    const QString host = hostKey(typed.chopped(end.size()));
    if (!host.isEmpty())
        trackAsked(host);
    picture(host, SharedAnswers::Picture::Thumbnail, std::move(done));
}

// The page's chart of a domain: looking at it tracks nothing.
void VendorService::historyChart(const QString &name, Done done)
{
    if (!name.endsWith(QLatin1String(".png")))
        return done(notFound());
    const QString host = hostKey(name.chopped(4));
    if (host.isEmpty())
        return done(notFound());
    picture(host, SharedAnswers::Picture::Large, std::move(done));
}

void VendorService::picture(const QString &host, SharedAnswers::Picture kind, Done done)
{
    const bool large = kind == SharedAnswers::Picture::Large;
    Reply reply(HttpStatus::Ok, large ? QByteArrayLiteral("image/png") : QByteArrayLiteral("image/jpeg"), {});
    reply.headers.append({QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-cache")});
    // Drawn once per change of the domain's history: the revision grows
    // with every stored count, by whichever process stored it, and is only
    // read again when some data changed.
    const quint64 generation = m_database.generation();
    const SharedAnswers::FoundPicture cached = m_shared.picture(kind, host, generation);
    if (cacheHit(Metrics::Cache::Picture, cached.current)) {
        reply.body = cached.bytes;
        return done(reply);
    }
    struct Drawn {
        qint64 revision = 0;
        QByteArray bytes; // empty: the cached picture still holds
    };
    const qint64 cachedRevision = cached.revision;
    const auto draw = large ? drawHistoryChart : drawTrendChart;
    // Read and drawn on the database thread: drawing is work too.
    withStore<Drawn>(
            [host, cachedRevision, draw](VendorStore &store) -> std::optional<Drawn> {
                const std::optional<qint64> revision = host.isEmpty() ? qint64(0) : store.historyRevision(host);
                if (!revision)
                    return std::nullopt;
                if (*revision == cachedRevision)
                    return Drawn{*revision, {}};
                if (*revision == 0)
                    return Drawn{0, draw({})};
                const std::optional<QList<HistoryPoint>> history = store.history(host);
                if (!history)
                    return std::nullopt;
                return Drawn{*revision, draw(*history)};
            },
            [this, kind, host, generation, reply](const Drawn &drawn) mutable {
                if (drawn.bytes.isEmpty()) {
                    const std::optional<QByteArray> kept = m_shared.renewPicture(kind, host, generation);
                    if (!kept)
                        return unavailable(); // evicted meanwhile; the next request draws it
                    reply.body = *kept;
                } else {
                    reply.body = drawn.bytes;
                    m_shared.keepPicture(kind, host, drawn.revision, generation, drawn.bytes);
                }
                return reply;
            },
            std::move(done));
}

// A window showing the trend picture asks for its domain at every query:
// the first request of a host name tracks it, up to the operator's cap.
void VendorService::trackAsked(const QString &host)
{
    if (!m_shared.firstAsk(host))
        return;
    m_database.post([shared = &m_shared, host, cap = m_config.trackCap](VendorStore &store) {
        std::optional<qint64> &tracked = shared->trackedByPictures;
        if (!tracked)
            tracked = store.trackedCount(QStringLiteral("picture"));
        if (!tracked || *tracked >= cap)
            return;
        const std::optional<bool> added = store.trackAsked(host);
        if (added && *added)
            ++*tracked;
    });
}

void VendorService::suggestion(const QByteArray &body, const QString &client, Done done)
{
    const std::optional<QString> text = decodeSuggestionForm(body);
    if (!text)
        return done(plain(HttpStatus::BadRequest, QStringLiteral("表单里没有建议（字段 c）。")));
    if (!m_shared.allowSuggestion(client)) {
        metrics().countRefusal(Metrics::Refusal::Suggestions);
        qCInfo(lcServe, "suggestion refused: %s reached --suggestions-per-hour", qPrintable(client));
        return done(plain(HttpStatus::TooManyRequests, QStringLiteral("此地址提交的建议过多，请一小时后再试。")));
    }
    const QDateTime receivedAt = QDateTime::currentDateTimeUtc();
    withStore<bool>(
            [receivedAt, client, text = *text](VendorStore &store) -> std::optional<bool> {
                return store.addSuggestion(receivedAt, client, text) ? std::optional(true) : std::nullopt;
            },
            [](bool) { return plain(HttpStatus::Ok, QStringLiteral("已收到，谢谢。")); }, std::move(done));
}

void VendorService::home(Done done)
{
    // Kept until the data changes, like the version and the news it shows:
    // the home page answers through a database outage.
    struct Front {
        int version;
        QList<NewsItem> news;
    };
    perGeneration<Front>(
            SharedAnswers::Kept::Home, Metrics::Cache::Home,
            [](VendorStore &store) -> std::optional<Front> {
                const std::optional<int> v = store.version();
                const std::optional<QList<NewsItem>> items = v ? store.news() : std::nullopt;
                if (!items)
                    return std::nullopt;
                return Front{*v, *items};
            },
            [](const Front &front) { return homePage(front.version, front.news); },
            [](const QByteArray &page) { return htmlPage(HttpStatus::Ok, page); }, std::move(done));
}

void VendorService::updatePage(Done done)
{
    const bool offered = !m_config.downloadsDir.isEmpty() && !newestPackage(m_config.downloadsDir).isEmpty();
    withStore<int>([](VendorStore &store) { return store.version(); },
                   [offered](int v) {
                       return htmlPage(HttpStatus::Ok,
                                       yz::server::updatePage(v,
                                                              offered ? QString::fromLatin1(kPackageFile) : QString()));
                   },
                   std::move(done));
}

Reply VendorService::download(const QString &name)
{
    // Only the one fixed file name is served, from the newest package in
    // the directory; the request's text never becomes a path.
    if (m_config.downloadsDir.isEmpty() || name != QLatin1String(kPackageFile))
        return notFound();
    const QString newest = newestPackage(m_config.downloadsDir);
    QFile file(newest);
    if (newest.isEmpty() || !file.open(QIODevice::ReadOnly))
        return notFound();
    Reply reply(HttpStatus::Ok, QByteArrayLiteral("application/vnd.debian.binary-package"), file.readAll());
    reply.headers.append({QByteArrayLiteral("Content-Disposition"),
                          QByteArrayLiteral("attachment; filename=\"") + kPackageFile + '"'});
    return reply;
}

Reply VendorService::registerForm(const QString &typed)
{
    return htmlPage(HttpStatus::Ok, registerPage(typed.left(253), {}, false));
}

void VendorService::registerDomain(const QByteArray &body, const QString &client, Done done)
{
    const QString typed = QUrlQuery(QString::fromUtf8(body).replace(u'+', u' '))
                                  .queryItemValue(QStringLiteral("domain"), QUrl::FullyDecoded)
                                  .left(253);
    const QString host = hostKey(typed);
    if (host.isEmpty())
        return done(
                htmlPage(HttpStatus::BadRequest, registerPage(typed, QStringLiteral("这不是一个有效的域名。"), false)));
    // Registrations are anonymous: each address may add a few an hour, so
    // strangers cannot fill the collector's daily budget.
    if (!m_shared.allowRegistration(client)) {
        metrics().countRefusal(Metrics::Refusal::Registrations);
        qCInfo(lcServe, "registration refused: %s reached --registrations-per-hour", qPrintable(client));
        Reply refused = htmlPage(HttpStatus::TooManyRequests,
                                 registerPage(typed, QStringLiteral("此地址登记过多，请稍后再试。"), false));
        return done(refused);
    }
    withStore<bool>(
            [host](VendorStore &store) -> std::optional<bool> {
                return store.track(host, QStringLiteral("register")) ? std::optional(true) : std::nullopt;
            },
            [typed, host](bool) {
                return htmlPage(HttpStatus::Ok,
                                registerPage(typed,
                                             QStringLiteral("已登记 %1，每天记录它的百度收录数。")
                                                     .arg(displayHost(host)),
                                             true));
            },
            std::move(done));
}

void VendorService::domainPage(const QString &typed, int page, Done done)
{
    const QString host = hostKey(typed);
    if (host.isEmpty())
        return done(notFound());
    withStore<DomainPageData>(
            [host, page](VendorStore &store) -> std::optional<DomainPageData> {
                DomainPageData data;
                data.host = host;
                data.page = page;
                const std::optional<int> rank = toolbarRankOf(store, host);
                const std::optional<QList<HistoryPoint>> history = rank ? store.history(host) : std::nullopt;
                QString error;
                const auto status = history
                        ? domainStatus(store.database(), host, QDateTime::currentDateTimeUtc().date(), &error)
                        : std::nullopt;
                if (!status)
                    return std::nullopt;
                data.rank = *rank;
                data.history = *history;
                data.tracked = status->has_value();
                data.nextDue = data.tracked ? (*status)->nextDue : QString();
                return data;
            },
            [](const DomainPageData &data) { return htmlPage(HttpStatus::Ok, yz::server::domainPage(data)); },
            std::move(done));
}

// The home page's box: a domain name leads to its page.
Reply VendorService::lookup(const QString &typed)
{
    const QString host = hostKey(typed.left(253));
    if (host.isEmpty())
        return htmlPage(HttpStatus::BadRequest, lookupFailedPage(typed.left(253)));
    Reply reply(HttpStatus::SeeOther, kPlainUtf8, {});
    reply.headers.append({QByteArrayLiteral("Location"), '/' + host.toLatin1()});
    return reply;
}

} // namespace yz::server
