#include "net/WatchedRequest.h"

#include "net/DeliveryQueue.h"
#include "net/TransportStatus.h"

#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace yz {

namespace {

// Whether the request went through a proxy: a connection that fails there
// is the proxy's failure, not the service's.
bool throughProxy(const QNetworkReply &reply)
{
    const QList<QNetworkProxy> proxies = QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(reply.url()));
    return !proxies.isEmpty() && proxies.first().type() != QNetworkProxy::NoProxy
            && proxies.first().type() != QNetworkProxy::DefaultProxy;
}

} // namespace

int completedStatus(const QNetworkReply &reply)
{
    const QNetworkReply::NetworkError error = reply.error();
    switch (error) {
    case QNetworkReply::HostNotFoundError:
        return throughProxy(reply) ? transport::kProxyFailed : transport::kNameNotResolved;
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::UnknownNetworkError:
        return throughProxy(reply) ? transport::kProxyFailed : transport::kCannotConnect;
    case QNetworkReply::TimeoutError:
        return transport::kTimedOut;
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::ProxyAuthenticationRequiredError:
        return transport::kProxyFailed;
    default:
        break;
    }
    // Other errors below 200 are network or proxy failures: the body is not
    // to be trusted even when a status line arrived (a body cut short).
    if (error != QNetworkReply::NoError && int(error) < 200)
        return transport::kConnectionAborted;
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return transport::kInvalidResponse;
    return status.toInt();
}

WatchedRequest::WatchedRequest(QNetworkReply *request, DeliveryQueue &deliveries, int timeoutMs, qint64 byteLimit,
                               QObject *parent)
    : QObject(parent)
    , oHTTP(request)
    , m_deliveries(deliveries)
    , m_byteLimit(byteLimit)
{
    request->setParent(this);
    // The network thread reads ahead at most this much of an answer the
    // program has not taken yet: while one long page is being scraped the
    // others wait in small pieces, each taken in a short event of its own.
    constexpr qint64 kReadAhead = 256 * 1024;
    request->setReadBufferSize(kReadAhead);
    connect(request, &QNetworkReply::readyRead, this, &WatchedRequest::readArrived);
    if (byteLimit > 0) {
        connect(request, &QNetworkReply::downloadProgress, this, [this, byteLimit](qint64 received, qint64) {
            if (received > byteLimit)
                abortWith(transport::kConnectionAborted);
        });
    }
    if (timeoutMs > 0) {
        m_timer = new QTimer(this);
        m_timer->setSingleShot(true);
        connect(m_timer, &QTimer::timeout, this, [this] { abortWith(transport::kTimedOut); });
        m_timer->start(timeoutMs);
    }
}

WatchedRequest::~WatchedRequest()
{
    // A request still in flight (the program is closing) ends without a delivery.
    if (oHTTP) {
        oHTTP->disconnect(this);
        oHTTP->abort();
    }
}

void WatchedRequest::abortWith(int status)
{
    if (!oHTTP || m_abortStatus != 0)
        return;
    m_abortStatus = status;
    oHTTP->abort(); // emits finished, which completes the delivery
}

QNetworkReply *WatchedRequest::takeCompleted(int *status)
{
    QNetworkReply *reply = oHTTP;
    if (!reply || !reply->isFinished())
        return nullptr;
    if (m_timer)
        m_timer->stop();
    *status = m_abortStatus != 0 ? m_abortStatus : completedStatus(*reply);
    oHTTP = nullptr;
    reply->deleteLater();
    return reply;
}

void WatchedRequest::readArrived()
{
    if (!oHTTP)
        return;
    if (m_body.isEmpty()) {
        // Room for the announced length at once, within reason: the limit
        // bounds what a server's header can make us set aside.
        constexpr qint64 kMostReserved = 16 * 1024 * 1024;
        bool ok = false;
        const qint64 announced = oHTTP->rawHeader("Content-Length").trimmed().toLongLong(&ok);
        qint64 room = ok ? std::min(announced, kMostReserved) : 0;
        if (m_byteLimit > 0)
            room = std::min(room, m_byteLimit);
        if (room > 0)
            m_body.reserve(qsizetype(room));
    }
    // Straight into the body: no buffer of its own to fill and copy again.
    const qint64 available = oHTTP->bytesAvailable();
    if (available <= 0)
        return;
    const qsizetype had = m_body.size();
    const qsizetype needed = had + qsizetype(available);
    if (needed > m_body.capacity())
        m_body.reserve(std::max(needed, 2 * m_body.capacity())); // grows by doubling, however it arrives
    m_body.resize(needed);
    const qint64 got = oHTTP->read(m_body.data() + had, available);
    m_body.resize(had + qsizetype(std::max<qint64>(got, 0)));
}

QByteArray WatchedRequest::takeBody(QNetworkReply *reply)
{
    QByteArray body = std::exchange(m_body, {});
    body.append(reply->readAll());
    return body;
}

void WatchedRequest::postDelivery(std::function<void()> delivery)
{
    m_deliveries.post(this, std::move(delivery));
}

void WatchedRequest::finishDelivery(bool answered)
{
    Q_EMIT delivered(answered);
    deleteLater();
}

} // namespace yz
