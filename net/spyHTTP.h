#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QNetworkReply;
class QTimer;

namespace yz {

class HandlerTable;

// The watcher of one page request. It waits for the request to complete,
// decodes the body by its charset label and calls the handler named sFunc.
// It deletes itself (and its request) once the handler has returned.
class spyHTTP : public QObject
{
    Q_OBJECT
public:
    spyHTTP(QNetworkReply *request, const QString &handler, const QString &charset,
            const HandlerTable &handlers, int timeoutMs, qint64 byteLimit, QObject *parent);
    ~spyHTTP() override;

    QPointer<QNetworkReply> oHTTP; // cleared when the request completes, before the handler runs
    const QString sFunc;           // handler name
    const QString sCharset;        // "gb2312", "utf-8" or empty for detection

Q_SIGNALS:
    void delivered();

private:
    void spy();
    void abortWith(int status);
    static QString bytesToText(const QByteArray &bytes, const QString &charset);
    static QString decodeDetected(const QByteArray &bytes);

    const HandlerTable &m_handlers;
    const qint64 m_byteLimit;
    QTimer *m_timer = nullptr;
    int m_abortStatus = 0; // a transport status set when we ended the request ourselves
};

// The status a finished request reports: its HTTP status, or a transport
// status when no usable HTTP answer arrived.
int completedStatus(const QNetworkReply &reply);

// Whether a page declares UTF-8 the way "<meta[^>]+charset=utf-8" finds it
// (ignoring case), in time linear in the page.
bool declaresUtf8(QStringView text);

// Whether a finished answer holds fewer bytes than its Content-Length announced.
bool isCutShort(const QNetworkReply &reply, const QByteArray &body);

} // namespace yz
