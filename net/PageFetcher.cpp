#include "net/PageFetcher.h"

#include "net/HostGate.h"
#include "net/ProgramVersion.h"
#include "net/TransportStatus.h"
#include "net/spyHTTP.h"
#include "net/spyHTTPPic.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <memory>
#include <utility>

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

QString PageFetcher::gateKey(const QUrl &url)
{
    return url.port() < 0 ? url.host() : url.host() + u':' + QString::number(url.port());
}

std::optional<QUrl> PageFetcher::target(const QString &url)
{
    QUrl target(url, QUrl::TolerantMode);
    if (!target.isValid() || target.host().isEmpty() || (target.scheme() != u"http" && target.scheme() != u"https"))
        return std::nullopt;
    return target;
}

bool PageFetcher::requestable(const QString &url)
{
    return target(url).has_value();
}

std::optional<PageFetcher::Prepared> PageFetcher::prepare(const QString &url, const QString &method,
                                                          const QString &payload)
{
    const std::optional<QUrl> address = target(url);
    if (!address)
        return std::nullopt;
    Prepared prepared{url, QNetworkRequest(*address), wireMethod(method), payload.toUtf8()};
    if (prepared.verb.isEmpty())
        return std::nullopt;
    prepared.request.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
    prepared.request.setRawHeader("If-Modified-Since", "0");
    if (method.toLower() == u"post")
        prepared.request.setRawHeader("Content-Type", "application/x-www-form-urlencoded");
    return prepared;
}

void PageFetcher::failLater(std::function<void(int status)> fail, bool counted)
{
    if (!counted)
        ++m_unstarted;
    m_deliveries.post(this, [this, fail, counted] {
        fail(transport::kNotStarted);
        if (counted) {
            countFinished();
            return;
        }
        --m_unstarted;
        if (inFlight() == 0)
            Q_EMIT idle();
    });
}

void PageFetcher::dispatch(std::optional<Prepared> toSend, std::function<WatchedRequest *(QNetworkReply *)> watch,
                           std::function<void(int status)> fail)
{
    if (!toSend) {
        failLater(std::move(fail), false);
        return;
    }
    const Prepared prepared = std::move(*toSend);
    countStarted(prepared.url);
    // Sends the request; `release` (if any) runs once the request's host is
    // free again, before the request counts as finished.
    auto sendNow = [this, prepared, watch, fail](std::function<void()> release) {
        QNetworkReply *reply = prepared.body.isEmpty()
                ? m_network.sendCustomRequest(prepared.request, prepared.verb)
                : m_network.sendCustomRequest(prepared.request, prepared.verb, prepared.body);
        if (!reply) {
            if (release)
                release();
            failLater(fail, true);
            return;
        }
        WatchedRequest *watcher = watch(reply);
        if (release) {
            // Delivered, or ended undelivered with its fetcher: whichever comes first.
            connect(watcher, &WatchedRequest::delivered, m_gate.data(), release);
            connect(watcher, &QObject::destroyed, m_gate.data(), release);
        }
        connect(watcher, &WatchedRequest::delivered, this, &PageFetcher::countFinished);
    };
    if (!m_gate) {
        sendNow({});
        return;
    }
    const QString key = gateKey(prepared.request.url());
    ++m_queued;
    m_gate->enqueue(
            key, this,
            [this, gate = m_gate.data(), key, sendNow] {
                --m_queued;
                sendNow([gate, key, released = std::make_shared<bool>(false)] {
                    if (!std::exchange(*released, true))
                        gate->release(key);
                });
            },
            [this, fail] {
                --m_queued;
                fail(transport::kHostGivenUp);
                countFinished();
            });
}

void PageFetcher::urlfetch(const QString &url, const QString &method, const QString &payload, const QString &charset,
                           const QString &handler)
{
    dispatch(
            prepare(url, method, payload),
            [=, this](QNetworkReply *reply) -> WatchedRequest * {
                return new spyHTTP(reply, handler, charset, m_handlers, m_deliveries, m_timeoutMs, m_byteLimit, this);
            },
            [=, this](int status) {
                m_handlers.deliver(handler, PageAnswer::failed(status, QUrl(url, QUrl::TolerantMode)));
            });
}

void PageFetcher::picfetch(const QString &url, const QString &handler)
{
    dispatch(
            prepare(url, QStringLiteral("get"), QString()),
            [=, this](QNetworkReply *reply) -> WatchedRequest * {
                return new spyHTTPPic(reply, handler, m_handlers, m_deliveries, m_timeoutMs, this);
            },
            [=, this](int status) { m_handlers.deliverPicture(handler, 1, QByteArray::number(status)); });
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
