#include "net/spyHTTPPic.h"

#include "net/HandlerTable.h"

#include <QNetworkReply>

namespace yz {

spyHTTPPic::spyHTTPPic(QNetworkReply *request, const QString &handler, const HandlerTable &handlers, int timeoutMs,
                       QObject *parent)
    : WatchedRequest(request, timeoutMs, kMaxPictureBytes + 1, parent)
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
    bool answered = false;
    if (m_dropped) {
        // Dropped like an answer without a usable length: nothing to show.
    } else if (status == 200) {
        if (const auto buffer = pictureBuffer(reply->rawHeader("Content-Length"), reply->readAll())) {
            m_handlers.deliverPicture(sFunc, 0, *buffer);
            answered = true;
        }
    } else {
        m_handlers.deliverPicture(sFunc, 1, QByteArray::number(status));
    }
    finishDelivery(answered);
}

} // namespace yz
