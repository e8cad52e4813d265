#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QTcpServer>
#include <QTimer>

class QTcpSocket;

namespace yz::server {

struct ConnectionLimits {
    qsizetype maxHead = 16 * 1024; // request line and headers
    qsizetype maxBody = 64 * 1024;
    int idleMs = 10'000; // nothing received for this long: dropped
    int maxConnections = 512;
    // At the connection limit, a new client takes the place of the
    // connection that has been silent longest, if it has been silent this long.
    int evictAfterMs = 500;
};

// The listening socket handed to the HTTP server. It sees every byte a client
// sends before the server parses it, so it can refuse an oversize head (431)
// or body (413) without buffering it, drop silent clients, and bound the
// number of connections.
class ConnectionGuard : public QTcpServer {
    Q_OBJECT
public:
    explicit ConnectionGuard(ConnectionLimits limits, QObject *parent = nullptr);

    int openConnections() const { return int(m_watches.size()); }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Watch {
        bool inBody = false;
        bool refused = false;
        qint64 refusedAt = 0; // ms on m_clock
        QByteArray head; // the head read so far (at most maxHead + 3 bytes)
        qint64 bodyLeft = 0;
        qint64 lastHeard = 0; // ms on m_clock
    };

    void watch(QTcpSocket *socket);
    void inspect(QTcpSocket *socket);
    // Processes newly received bytes; false when the request must be refused
    // (status and reason set).
    bool account(Watch &watch, QByteArrayView data, int *status, QByteArray *reason);
    void refuse(QTcpSocket *socket, Watch &watch, int status, const QByteArray &reason);
    void sweepIdle();
    bool makeRoom();

    ConnectionLimits m_limits;
    QHash<QTcpSocket *, Watch> m_watches;
    QElapsedTimer m_clock;
    QTimer m_sweep;
};

} // namespace yz::server
