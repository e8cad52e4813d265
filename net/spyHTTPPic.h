#pragma once

#include "net/WatchedRequest.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace yz {

class DeliveryQueue;
class HandlerTable;

// The watcher of one picture request: hands the picture's bytes, in a buffer
// one byte longer than the announced Content-Length, to the handler sFunc.
class spyHTTPPic : public WatchedRequest {
    Q_OBJECT
public:
    // A trend picture is a few kilobytes; an announced length past this is
    // not believed and the answer is dropped.
    static constexpr qint64 kMaxPictureBytes = 16 * 1024 * 1024;

    spyHTTPPic(QNetworkReply *request, const QString &handler, const HandlerTable &handlers, DeliveryQueue &deliveries,
               int timeoutMs, QObject *parent);

    const QString sFunc;

    // The zero-filled buffer of Content-Length + 1 bytes with the body at its
    // start; nothing when the length is missing, not a number, negative, past
    // kMaxPictureBytes, or the body does not fit.
    static std::optional<QByteArray> pictureBuffer(const QByteArray &contentLength, const QByteArray &body);

private:
    void spyPic();

    const HandlerTable &m_handlers;
    bool m_dropped = false;
};

} // namespace yz
