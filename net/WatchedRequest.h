#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class QNetworkReply;
class QTimer;

namespace yz {
class DeliveryQueue;
}

namespace yz {

// What every request's watcher shares: it owns its request, ends it after a
// time-out or past a byte limit, and turns its end into a status (the HTTP
// status, or a transport status when no usable answer came).
class WatchedRequest : public QObject {
    Q_OBJECT
public:
    ~WatchedRequest() override;

    QPointer<QNetworkReply> oHTTP; // cleared when the request completes, before the handler runs

Q_SIGNALS:
    // answered: the handler received the server's answer (err 0).
    void delivered(bool answered);

protected:
    WatchedRequest(QNetworkReply *request, DeliveryQueue &deliveries, int timeoutMs, qint64 byteLimit, QObject *parent);

    // Runs the handler call in an event-loop pass of its own (see
    // DeliveryQueue), unless this watcher is gone by then.
    void postDelivery(std::function<void()> delivery);

    // Once the request has completed: clears oHTTP and returns the request
    // (deleted later, so its body can still be read) with its status in
    // `status`; before that, nullptr.
    QNetworkReply *takeCompleted(int *status);
    // The completed request's body: what was read as it arrived and what is
    // left. Read in the small steps it arrives in, a long page is copied
    // between other events rather than all at once when it ends.
    QByteArray takeBody(QNetworkReply *reply);

    // Called after the handler: counts the delivery and lets the watcher go.
    void finishDelivery(bool answered);

private:
    void abortWith(int status);
    void readArrived();

    DeliveryQueue &m_deliveries;
    QTimer *m_timer = nullptr;
    int m_abortStatus = 0; // a transport status when we ended the request ourselves
    qint64 m_byteLimit;
    QByteArray m_body;
};

// The status a finished request reports: its HTTP status, or a transport
// status when no usable HTTP answer arrived.
int completedStatus(const QNetworkReply &reply);

} // namespace yz
