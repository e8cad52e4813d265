#pragma once

#include "net/PageAnswer.h"
#include "net/WatchedRequest.h"

#include <QElapsedTimer>
#include <QString>

namespace yz {

class DeliveryQueue;
class HandlerTable;

// The watcher of one page request. It waits for the request to complete,
// decodes the body by its charset label and calls the handler named sFunc
// with the whole answer.
// It deletes itself (and its request) once the handler has returned.
class spyHTTP : public WatchedRequest {
    Q_OBJECT
public:
    spyHTTP(QNetworkReply *request, const QString &handler, const QString &charset, const HandlerTable &handlers,
            DeliveryQueue &deliveries, int timeoutMs, qint64 byteLimit, QObject *parent);

    const QString sFunc; // handler name
    const QString sCharset; // "gb2312", "utf-8" or empty for detection

private:
    void spy();
    void deliver(PageAnswer answer);

    const HandlerTable &m_handlers;
    const QUrl m_asked;
    QElapsedTimer m_clock;
};

// A page body decoded by a charset label: "gb2312", "utf-8", or empty for
// GBK unless the page declares UTF-8.
QString decodePage(const QByteArray &body, const QString &charset);

// Whether a page declares UTF-8 the way "<meta[^>]+charset=utf-8" finds it
// (ignoring case), in time linear in the page.
bool declaresUtf8(QStringView text);

// Whether a finished answer holds fewer bytes than its Content-Length announced.
bool isCutShort(const QNetworkReply &reply, const QByteArray &body);

} // namespace yz
