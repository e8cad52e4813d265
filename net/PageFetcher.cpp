#include "net/PageFetcher.h"

#include "net/ProgramVersion.h"
#include "net/spyHTTP.h"
#include "net/spyHTTPPic.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace yz {
namespace {

// Methods a browser's request object sends upper-case whatever case it is given.
QByteArray wireMethod(const QString &method)
{
    static const QStringList standard = {QStringLiteral("DELETE"),  QStringLiteral("GET"),  QStringLiteral("HEAD"),
                                         QStringLiteral("OPTIONS"), QStringLiteral("POST"), QStringLiteral("PUT")};
    const QString upper = method.toUpper();
    return (standard.contains(upper) ? upper : method).toLatin1();
}

} // namespace

PageFetcher::PageFetcher(QObject *parent)
    : QObject(parent)
{
    // Redirects are followed as a browser follows them (not from https to http).
    m_network.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

PageFetcher::~PageFetcher()
{
    // Watchers own their requests; end them before the manager goes.
    qDeleteAll(findChildren<WatchedRequest *>(Qt::FindDirectChildrenOnly));
}

QByteArray PageFetcher::userAgent()
{
    return QByteArrayLiteral("Mozilla/5.0 (X11; Linux x86_64) YanzhouWebmasterTool/")
            + QByteArray::number(kProgramVersion);
}

QNetworkReply *PageFetcher::send(const QString &url, const QString &method, const QString &payload)
{
    const QUrl target(url, QUrl::TolerantMode);
    if (!target.isValid() || target.host().isEmpty() || (target.scheme() != u"http" && target.scheme() != u"https"))
        throw FetchError("cannot request this address");
    const QByteArray verb = wireMethod(method);
    if (verb.isEmpty())
        throw FetchError("no request method");

    QNetworkRequest request(target);
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
    request.setRawHeader("If-Modified-Since", "0");
    if (method.toLower() == u"post")
        request.setRawHeader("Content-Type", "application/x-www-form-urlencoded");

    QNetworkReply *reply = payload.isEmpty() ? m_network.sendCustomRequest(request, verb)
                                             : m_network.sendCustomRequest(request, verb, payload.toUtf8());
    if (!reply)
        throw FetchError("request could not be sent");
    countStarted(url);
    return reply;
}

void PageFetcher::urlfetch(const QString &url, const QString &method, const QString &payload, const QString &charset,
                           const QString &handler)
{
    QNetworkReply *reply = send(url, method, payload);
    auto *watcher = new spyHTTP(reply, handler, charset, m_handlers, m_deliveries, m_timeoutMs, m_byteLimit, this);
    connect(watcher, &spyHTTP::delivered, this, &PageFetcher::countFinished);
}

void PageFetcher::picfetch(const QString &url, const QString &handler)
{
    QNetworkReply *reply = send(url, QStringLiteral("get"), QString());
    auto *watcher = new spyHTTPPic(reply, handler, m_handlers, m_deliveries, m_timeoutMs, this);
    connect(watcher, &spyHTTPPic::delivered, this, &PageFetcher::countFinished);
}

void PageFetcher::countStarted(const QString &url)
{
    ++m_started;
    Q_EMIT requestStarted(url);
}

void PageFetcher::countFinished(bool answered)
{
    ++m_finished;
    if (answered)
        ++m_answered;
    Q_EMIT requestFinished();
    if (inFlight() == 0)
        Q_EMIT idle();
}

} // namespace yz
