#pragma once

#include <QAbstractHttpServer>

namespace yz::server {

class ConnectionGuard;
class DatabaseThread;

// The operator's listener, apart from the public one: /healthz (200 "ok"
// when the database answers and its schema is this program's, else 503 and
// why) and /metrics (the Prometheus text format).
class AdminService : public QAbstractHttpServer {
    Q_OBJECT
public:
    AdminService(DatabaseThread &database, QObject *parent = nullptr);

    void serveOn(ConnectionGuard *guard);

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    DatabaseThread &m_database;
    ConnectionGuard *m_guard = nullptr;
};

} // namespace yz::server
