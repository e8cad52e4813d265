#include "server/VendorService.h"

#include "net/TextDecoding.h"
#include "server/Database.h"
#include "server/DomainName.h"
#include "server/Pages.h"
#include "server/RankScale.h"
#include "server/SuggestionForm.h"
#include "server/TrendChart.h"
#include "services/VendorPaths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
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
constexpr int kPictureCacheEntries = 4096;

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

Reply plain(int status, const QString &text)
{
    return {status, kPlainUtf8, text.toUtf8()};
}

Reply htmlPage(int status, QByteArray page)
{
    return {status, kHtml, std::move(page), true};
}

Reply notFound()
{
    return htmlPage(404, notFoundPage());
}

Reply methodNotAllowed(const QByteArray &allowed)
{
    Reply reply = plain(405, QStringLiteral("method not allowed"));
    reply.headers.append({QByteArrayLiteral("Allow"), allowed});
    return reply;
}

} // namespace

VendorService::VendorService(ServiceConfig config, Database &database, QObject *parent)
    : QAbstractHttpServer(parent)
    , m_config(std::move(config))
    , m_database(database)
    , m_store(database)
    , m_limiter(m_config.suggestionsPerHour)
    , m_changes(database)
    , m_rankAnswers(kPictureCacheEntries * 4)
    , m_pictures(kPictureCacheEntries)
{
    while (m_config.publicBase.endsWith(u'/'))
        m_config.publicBase.chop(1);
}

bool VendorService::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    static const QHash<QHttpServerRequest::Method, QByteArray> kMethods = {
            {QHttpServerRequest::Method::Get, "GET"},
            {QHttpServerRequest::Method::Post, "POST"},
            {QHttpServerRequest::Method::Head, "HEAD"},
    };
    const Reply reply =
            answer(kMethods.value(request.method(), "OTHER"), request.url(), request.body(), clientOf(request));
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(QHttpServerResponder::StatusCode(reply.status));
    responder.writeHeader(QByteArrayLiteral("Content-Type"), reply.contentType);
    responder.writeHeader(QByteArrayLiteral("Content-Length"), QByteArray::number(reply.body.size()));
    responder.writeHeader(QByteArrayLiteral("X-Content-Type-Options"), QByteArrayLiteral("nosniff"));
    if (reply.page)
        responder.writeHeader(QByteArrayLiteral("Content-Security-Policy"), kPagePolicy);
    for (const auto &[name, value] : reply.headers)
        responder.writeHeader(name, value);
    if (request.method() != QHttpServerRequest::Method::Head)
        responder.writeBody(reply.body);
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

Reply VendorService::answer(const QByteArray &method, const QUrl &url, const QByteArray &body, const QString &client)
{
    Reply reply = route(method, url, body, client);
    // A lost database connection (the server restarted) is opened again for
    // the next request; this one is answered 503.
    if (reply.status == 503 && m_database.reconnect())
        m_changes.invalidate();
    return reply;
}

Reply VendorService::route(const QByteArray &method, const QUrl &url, const QByteArray &body, const QString &client)
{
    if (!url.isValid())
        return notFound();
    const QString path = url.path(QUrl::FullyDecoded);
    const bool get = method == "GET" || method == "HEAD";
    const bool post = method == "POST";
    // The paths of the routes, made once (a request's query part cut off).
    static const QString suggestionPath = fromUtf16(vendor::kSuggestion);
    static const QString registerPath = fromUtf16(vendor::kRegisterDomainPage);
    static const QString versionPath = fromUtf16(vendor::kVersionCheck).section(u'?', 0, 0);
    static const QString newsPath = fromUtf16(vendor::kNews).section(u'?', 0, 0);
    static const QString pageRankPath = fromUtf16(vendor::kPageRankUrl).section(u'?', 0, 0);
    static const QString picturePath = fromUtf16(vendor::kTrendPicture);
    if (path == suggestionPath)
        return post ? suggestion(body, client) : methodNotAllowed("POST");
    if (path == registerPath) {
        if (post)
            return registerDomain(body);
        if (get)
            return registerForm(QUrlQuery(url).queryItemValue(QStringLiteral("domain"), QUrl::FullyDecoded));
        return methodNotAllowed("GET, POST");
    }
    if (!get)
        return methodNotAllowed("GET");

    if (path == versionPath)
        return version();
    if (path == newsPath)
        return news();
    if (path == pageRankPath)
        return pageRankAddress(typedDomainQuery(url));
    if (path == kRankPage)
        return pageRank(typedDomainQuery(url));
    if (path.startsWith(picturePath))
        return trendPicture(afterPrefix(url, picturePath));
    if (path == kStyleSheet)
        return {200, QByteArrayLiteral("text/css; charset=utf-8"), styleSheet()};
    if (path.startsWith(kDownloads))
        return download(path.mid(kDownloads.size()));
    if (path == QLatin1String("/"))
        return url.query() == QLatin1String("update") ? updatePage() : home();
    return domainPage(afterPrefix(url, QStringLiteral("/")));
}

Reply VendorService::unavailable()
{
    return plain(503, QStringLiteral("service unavailable, try again later"));
}

Reply VendorService::version()
{
    const quint64 generation = m_changes.generation();
    if (m_versionAnswer.generation != generation) {
        const std::optional<int> v = m_store.version();
        if (!v)
            return unavailable();
        m_versionAnswer = {generation, QByteArray::number(*v)};
    }
    return {200, kPlainGbk, m_versionAnswer.body};
}

Reply VendorService::news()
{
    const quint64 generation = m_changes.generation();
    if (m_newsAnswer.generation != generation) {
        const std::optional<QList<NewsItem>> items = m_store.news();
        if (!items)
            return unavailable();
        QStringList joined;
        for (const NewsItem &item : *items)
            joined.append(item.title + QStringLiteral("[L|G]") + item.address);
        m_newsAnswer = {generation, encodeGbk(joined.join(QStringLiteral("{L|G}")))};
    }
    return {200, kPlainGbk, m_newsAnswer.body};
}

Reply VendorService::pageRankAddress(const QString &typed)
{
    const QByteArray address =
            m_config.publicBase.toUtf8() + kRankPage.toLatin1() + "?dm=" + QUrl::toPercentEncoding(typed);
    return {200, kPlainUtf8, address};
}

int VendorService::rankOf(const QString &host, bool *ok)
{
    *ok = true;
    for (const QString &name : rankLookupNames(host)) {
        const std::optional<qint64> position = m_store.rankPosition(name);
        if (!position) {
            *ok = false;
            return 0;
        }
        if (*position > 0)
            return toolbarRank(*position);
    }
    return 0;
}

Reply VendorService::pageRank(const QString &typed)
{
    const QString host = hostKey(typed);
    const quint64 generation = m_changes.generation();
    if (const CachedAnswer *cached = m_rankAnswers.object(host); cached && cached->generation == generation)
        return {200, kPlainUtf8, cached->body};
    bool ok = true;
    const int rank = host.isEmpty() ? 0 : rankOf(host, &ok);
    if (!ok)
        return unavailable();
    const QByteArray body = "Rank_1:1:" + QByteArray::number(rank) + '\n';
    m_rankAnswers.insert(host, new CachedAnswer{generation, body});
    return {200, kPlainUtf8, body};
}

Reply VendorService::trendPicture(const QString &typed)
{
    const QString end = fromUtf16(vendor::kTrendPictureEnd);
    if (!typed.endsWith(end))
        return notFound();
    const QString host = hostKey(typed.chopped(end.size()));
    Reply reply(200, QByteArrayLiteral("image/jpeg"), {});
    reply.headers.append({QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-cache")});
    if (!host.isEmpty())
        trackAsked(host);
    // Drawn once per change of the domain's history: the revision grows
    // with every stored count, by whichever process stored it, and is only
    // read again when some data changed.
    const quint64 generation = m_changes.generation();
    CachedPicture *cached = m_pictures.object(host);
    if (cached && cached->generation == generation) {
        reply.body = cached->jpeg;
        return reply;
    }
    const std::optional<qint64> revision = host.isEmpty() ? qint64(0) : m_store.historyRevision(host);
    if (!revision)
        return unavailable();
    if (cached && cached->revision == *revision) {
        cached->generation = generation;
        reply.body = cached->jpeg;
        return reply;
    }
    if (*revision == 0) {
        if (m_noDataPicture.isEmpty())
            m_noDataPicture = drawTrendChart({});
        reply.body = m_noDataPicture;
    } else {
        const std::optional<QList<HistoryPoint>> history = m_store.history(host);
        if (!history)
            return unavailable();
        reply.body = drawTrendChart(*history);
    }
    m_pictures.insert(host, new CachedPicture{*revision, generation, reply.body});
    return reply;
}

// A window showing the trend picture asks for its domain at every query:
// the first request of a host name tracks it, up to the operator's cap.
void VendorService::trackAsked(const QString &host)
{
    constexpr qsizetype kRemembered = 100'000;
    if (m_askedHosts.contains(host))
        return;
    if (!m_trackedByPictures)
        m_trackedByPictures = m_store.trackedCount(QStringLiteral("picture"));
    if (!m_trackedByPictures || *m_trackedByPictures >= m_config.trackCap)
        return;
    const std::optional<bool> added = m_store.trackAsked(host);
    if (!added)
        return;
    if (*added)
        ++*m_trackedByPictures;
    if (m_askedHosts.size() >= kRemembered)
        m_askedHosts.clear();
    m_askedHosts.insert(host);
}

Reply VendorService::suggestion(const QByteArray &body, const QString &client)
{
    const std::optional<QString> text = decodeSuggestionForm(body);
    if (!text)
        return plain(400, QStringLiteral("no suggestion in the form (field c)"));
    if (!m_limiter.allow(client))
        return plain(429, QStringLiteral("too many suggestions from this address, try again later"));
    if (!m_store.addSuggestion(QDateTime::currentDateTimeUtc(), client, *text))
        return unavailable();
    return plain(200, QStringLiteral("已收到，谢谢。"));
}

Reply VendorService::home()
{
    const std::optional<int> v = m_store.version();
    const std::optional<QList<NewsItem>> items = m_store.news();
    if (!v || !items)
        return unavailable();
    return htmlPage(200, homePage(*v, *items));
}

Reply VendorService::updatePage()
{
    const std::optional<int> v = m_store.version();
    if (!v)
        return unavailable();
    const bool offered = !m_config.downloadsDir.isEmpty()
            && QFileInfo(QDir(m_config.downloadsDir), QString::fromLatin1(kPackageFile)).isFile();
    return htmlPage(200, yz::server::updatePage(*v, offered ? QString::fromLatin1(kPackageFile) : QString()));
}

Reply VendorService::download(const QString &name)
{
    // Only the one fixed file name is served; the request's text never
    // becomes a path.
    if (m_config.downloadsDir.isEmpty() || name != QLatin1String(kPackageFile))
        return notFound();
    QFile file(QDir(m_config.downloadsDir).filePath(QString::fromLatin1(kPackageFile)));
    if (!file.open(QIODevice::ReadOnly))
        return notFound();
    Reply reply(200, QByteArrayLiteral("application/vnd.debian.binary-package"), file.readAll());
    reply.headers.append({QByteArrayLiteral("Content-Disposition"),
                          QByteArrayLiteral("attachment; filename=\"") + kPackageFile + '"'});
    return reply;
}

Reply VendorService::registerForm(const QString &typed)
{
    return htmlPage(200, registerPage(typed.left(253), {}, false));
}

Reply VendorService::registerDomain(const QByteArray &body)
{
    const QString typed = QUrlQuery(QString::fromUtf8(body).replace(u'+', u' '))
                                  .queryItemValue(QStringLiteral("domain"), QUrl::FullyDecoded)
                                  .left(253);
    const QString host = hostKey(typed);
    if (host.isEmpty())
        return htmlPage(400, registerPage(typed, QStringLiteral("这不是一个有效的域名。"), false));
    if (!m_store.track(host, QStringLiteral("register")))
        return unavailable();
    return htmlPage(200,
                    registerPage(typed, QStringLiteral("已登记 %1，每天记录它的百度收录数。").arg(displayHost(host)),
                                 true));
}

Reply VendorService::domainPage(const QString &typed)
{
    const QString host = hostKey(typed);
    if (host.isEmpty())
        return notFound();
    DomainPageData data;
    data.host = host;
    bool ok = true;
    data.rank = rankOf(host, &ok);
    const std::optional<QList<HistoryPoint>> history = m_store.history(host);
    const std::optional<bool> tracked = m_store.isTracked(host);
    if (!ok || !history || !tracked)
        return unavailable();
    data.history = *history;
    data.tracked = *tracked;
    return htmlPage(200, yz::server::domainPage(data));
}

} // namespace yz::server
