#pragma once

#include "server/RequestFraming.h"

#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>

#include <atomic>

class QTcpSocket;

namespace yz::server {

struct ConnectionLimits {
    qsizetype maxHead = 16 * 1024; // request line and headers
    qsizetype maxBody = 64 * 1024;
    int idleMs = 10'000; // nothing of a next request for this long: dropped
    int headTimeoutMs = 10'000; // from a head's first byte to its end, however it trickles
    int bodyTimeoutMs = 10'000; // from a head's end to its body's end
    int maxConnections = 512;
    // At the connection limit, a new client takes the place of the connection
    // that has waited longest without completing a request, if it has waited
    // this long.
    int evictAfterMs = 500;
    // Pipelined requests waiting behind the one being answered: at most this
    // many and this many bytes; the connection is closed after the last one
    // it may queue.
    int maxQueued = 32;
    qsizetype maxQueuedBytes = 16 * 1024;
    int maxRequests = 1000; // requests per connection, then it is closed
    // Answer bytes a client has not taken yet: past this, its next request
    // waits until it reads (and a client that stops reading is dropped
    // after the idle time).
    qint64 maxUnsent = 256 * 1024;
};

// The listening socket handed to the HTTP server, and the one place where
// requests are framed. It reads every byte a client sends, checks each head
// strictly (no folded lines, one length, no transfer codings), and hands the
// server one complete request at a time, the next only once the previous one
// is answered: so the server never reads a byte that was not checked, answers
// leave in request order, and pipelining costs linear time. It also bounds
// connections, queues, sizes and the time a head or body may take.
class ConnectionGuard : public QTcpServer {
    Q_OBJECT
public:
    explicit ConnectionGuard(ConnectionLimits limits, QObject *parent = nullptr);

    // Guards listening on one port from several threads count their
    // connections together, so that --max-connections bounds them all.
    void shareConnectionCount(std::atomic<int> *total) { m_total = total; }
    // Connections with a request arriving, being handled or queued, or an
    // answer not yet written out: what a graceful stop waits for.
    int busyConnections() const;

    // No new connections; those the kernel has already queued are taken in
    // first (closing would reset them), and every open one goes on.
    void stopListening();

    // Sends the answer to the request the server is handling on `socket`:
    // `head` is the status line and the headers without the length; the
    // length, the connection's fate and the blank line are added here, and a
    // HEAD request gets no body. Then the next queued request is handed over.
    void respond(QTcpSocket *socket, const QByteArray &head, const QByteArray &body);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Watch {
        RequestFramer framer;
        QList<FramedRequest> ready; // complete requests not yet handed over
        qsizetype readyBytes = 0;
        bool inFlight = false; // the server holds a request and has not answered
        bool headOnly = false; // ... and it is a HEAD request
        bool closeAfter = false; // ... and the connection ends with its answer
        bool lastQueued = false; // no more requests are taken on this connection
        int handedOver = 0;
        std::optional<FramingError> pendingRefusal; // sent once the queue is answered
        bool refused = false;
        qint64 refusedAt = 0; // ms on m_clock
        qint64 waitingSince = 0; // since when it has had no complete request waiting
        qint64 lastHeard = 0;
    };

    void watch(QTcpSocket *socket);
    void inspect(QTcpSocket *socket);
    // Frames what `inspect` read and hands over what is complete.
    void take(QTcpSocket *socket, Watch &watch, const QByteArray &data);
    void handOver(QTcpSocket *socket, Watch &watch);
    void resume(QTcpSocket *socket);
    void wakeForNext(QTcpSocket *socket, const Watch &watch);
    void refuse(QTcpSocket *socket, Watch &watch, const FramingError &error);
    void sweep();
    bool makeRoom();
    void drop(QTcpSocket *socket);
    void forget(QTcpSocket *socket);
    // Takes a place among the connections --max-connections allows (this
    // guard's, or its group's); false when none is left.
    bool claimPlace();
    void noteFull();

    ConnectionLimits m_limits;
    QHash<QTcpSocket *, Watch> m_watches;
    QElapsedTimer m_clock;
    QTimer m_sweep;
    qint64 m_lastFullNote = -1;
    qint64 m_turnedAway = 0;
    std::atomic<int> *m_total = nullptr;
    QByteArray m_justRead; // what inspect read, while it runs
};

} // namespace yz::server
