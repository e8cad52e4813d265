#include "net/spyHTTPPic.h"

#include "net/HandlerTable.h"

#include <QNetworkReply>

#include <optional>

namespace yz {

spyHTTPPic::spyHTTPPic(QNetworkReply *request, const QString &handler, const HandlerTable &handlers,
                       DeliveryQueue &deliveries, int timeoutMs, QObject *parent)
    : WatchedRequest(request, deliveries, timeoutMs, kMaxPictureBytes + 1, parent)
    , sFunc(handler)
    , m_handlers(handlers)
{
    connect(request, &QNetworkReply::finished, this, &spyHTTPPic::spyPic);
    // A length that cannot be believed is refused as soon as the headers are
    // in, before any body is received.
    connect(request, &QNetworkReply::metaDataChanged, this, [this] {
        if (!oHTTP || !oHTTP->hasRawHeader("Content-Length"))
            return;
        if (!pictureBuffer(oHTTP->rawHeader("Content-Length"), QByteArray())) {
            m_dropped = true;
            oHTTP->abort();
        }
    });
}

std::optional<QByteArray> spyHTTPPic::pictureBuffer(const QByteArray &contentLength, const QByteArray &body)
{
    bool ok = false;
    const int announced = contentLength.trimmed().toInt(&ok);
    if (!ok || announced < 0 || announced > kMaxPictureBytes || body.size() > qint64(announced) + 1)
        return std::nullopt;
    QByteArray buffer(qsizetype(announced) + 1, '\0');
    std::copy(body.begin(), body.end(), buffer.begin());
    return buffer;
}

void spyHTTPPic::spyPic()
{
    int status = 0;
    QNetworkReply *reply = takeCompleted(&status);
    if (!reply)
        return;
    // Dropped answers (no usable length) show nothing; the rest go to the
    // handler in a pass of their own, as pages do.
    std::optional<QByteArray> buffer;
    if (!m_dropped && status == 200)
        buffer = pictureBuffer(reply->rawHeader("Content-Length"), takeBody(reply));
    else if (!m_dropped)
        buffer = QByteArray::number(status);
    postDelivery([this, status, buffer] {
        if (buffer)
            m_handlers.deliverPicture(sFunc, status == 200 ? 0 : 1, *buffer);
        finishDelivery(status == 200 && buffer.has_value());
    });
}

} // namespace yz
