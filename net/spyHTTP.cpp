#include "net/spyHTTP.h"

#include "net/HandlerTable.h"
#include "net/TextDecoding.h"
#include "net/TransportStatus.h"

#include <QNetworkReply>
#include <QTimer>

namespace yz {

int completedStatus(const QNetworkReply &reply)
{
    const QNetworkReply::NetworkError error = reply.error();
    switch (error) {
    case QNetworkReply::HostNotFoundError:
        return transport::kNameNotResolved;
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::UnknownNetworkError:
        return transport::kCannotConnect;
    case QNetworkReply::TimeoutError:
        return transport::kTimedOut;
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

// Qt does not always flag a connection that closed before the announced
// Content-Length had arrived; a body cut short must not pass for a page.
bool isCutShort(const QNetworkReply &reply, const QByteArray &body)
{
    if (!reply.rawHeader("Content-Encoding").isEmpty())
        return false; // the length counts compressed bytes
    bool ok = false;
    const qint64 announced = reply.rawHeader("Content-Length").trimmed().toLongLong(&ok);
    return ok && body.size() < announced;
}

spyHTTP::spyHTTP(QNetworkReply *request, const QString &handler, const QString &charset,
                 const HandlerTable &handlers, int timeoutMs, qint64 byteLimit, QObject *parent)
    : QObject(parent)
    , oHTTP(request)
    , sFunc(handler)
    , sCharset(charset)
    , m_handlers(handlers)
    , m_byteLimit(byteLimit)
{
    request->setParent(this);
    connect(request, &QNetworkReply::finished, this, &spyHTTP::spy);
    if (m_byteLimit > 0) {
        connect(request, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) {
            if (received > m_byteLimit)
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

spyHTTP::~spyHTTP()
{
    // A request still in flight (the program is closing) ends without a delivery.
    if (oHTTP) {
        oHTTP->disconnect(this);
        oHTTP->abort();
    }
}

void spyHTTP::abortWith(int status)
{
    if (!oHTTP || m_abortStatus != 0)
        return;
    m_abortStatus = status;
    oHTTP->abort(); // emits finished, which runs spy()
}

void spyHTTP::spy()
{
    QNetworkReply *reply = oHTTP;
    if (!reply || !reply->isFinished())
        return;
    if (m_timer)
        m_timer->stop();

    const int status = m_abortStatus != 0 ? m_abortStatus : completedStatus(*reply);
    qint16 err = 1;
    QString html;
    const QByteArray body = status == 200 ? reply->readAll() : QByteArray();
    if (status == 200 && isCutShort(*reply, body)) {
        html = QString::number(transport::kConnectionAborted);
    } else if (status == 200) {
        err = 0;
        html = sCharset.isEmpty() ? decodeDetected(body) : bytesToText(body, sCharset);
    } else {
        html = QString::number(status);
    }
    oHTTP = nullptr;
    reply->deleteLater();

    m_handlers.deliver(sFunc, err, html);
    Q_EMIT delivered();
    deleteLater();
}

QString spyHTTP::bytesToText(const QByteArray &bytes, const QString &charset)
{
    return decodeByLabel(bytes, charset);
}

// No label: GBK, unless the page declares UTF-8 in a meta tag.
QString spyHTTP::decodeDetected(const QByteArray &bytes)
{
    const QString gbk = bytesToText(bytes, QStringLiteral("gb2312"));
    if (declaresUtf8(gbk))
        return bytesToText(bytes, QStringLiteral("utf-8"));
    return gbk;
}

bool declaresUtf8(QStringView text)
{
    // Equivalent to a search for "<meta[^>]+charset=utf-8", ignoring case, but
    // linear: the "[^>]+" of every "<meta" ends at the next ">", so each
    // stretch up to a ">" is searched once, however many "<meta" it holds.
    static const QString open = QStringLiteral("<meta");
    static const QString declaration = QStringLiteral("charset=utf-8");
    qsizetype from = 0;
    for (;;) {
        const qsizetype tag = text.indexOf(open, from, Qt::CaseInsensitive);
        if (tag < 0)
            return false;
        const qsizetype inside = tag + open.size() + 1; // "[^>]+" takes at least one character
        qsizetype close = text.indexOf(u'>', tag + open.size());
        if (close < 0)
            close = text.size();
        if (inside < close && text.sliced(inside, close - inside).contains(declaration, Qt::CaseInsensitive))
            return true;
        from = close;
    }
}

} // namespace yz
