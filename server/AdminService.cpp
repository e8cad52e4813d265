#include "server/AdminService.h"

#include "server/ConnectionGuard.h"
#include "server/Database.h"
#include "server/DatabaseThread.h"
#include "server/Metrics.h"
#include "server/RequestFraming.h"
#include "server/VendorStore.h"

#include <QHttpServerRequest>
#include <QPointer>
#include <QTcpSocket>

namespace yz::server {
namespace {

QByteArray head(HttpStatus status, const QByteArray &contentType)
{
    return "HTTP/1.1 " + QByteArray::number(code(status)) + ' ' + reasonPhrase(status)
            + "\r\nContent-Type: " + contentType + "\r\nCache-Control: no-store";
}

} // namespace

AdminService::AdminService(DatabaseThread &database, QObject *parent)
    : QAbstractHttpServer(parent)
    , m_database(database)
{
}

void AdminService::serveOn(ConnectionGuard *guard)
{
    m_guard = guard;
    bind(guard);
}

bool AdminService::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    QPointer<QTcpSocket> target(socket);
    const auto reply = [this, target](HttpStatus status, const QByteArray &contentType, const QByteArray &body) {
        if (target && m_guard)
            m_guard->respond(target, head(status, contentType), body);
    };
    const QString path = request.url().path();
    if (path == QLatin1String("/metrics"))
        return reply(HttpStatus::Ok, "text/plain; version=0.0.4; charset=utf-8", metrics().render()), true;
    // Liveness: the process answers. A balancer that took instances out on
    // the database's state would take them all out in an outage, while
    // their cached answers still serve; readiness is /readyz.
    if (path == QLatin1String("/healthz"))
        return reply(HttpStatus::Ok, "text/plain; charset=utf-8", "ok\n"), true;
    if (path != QLatin1String("/readyz"))
        return reply(HttpStatus::NotFound, "text/plain; charset=utf-8", "not found\n"), true;
    // The schema is read through the database thread, like any answer, so a
    // stuck database shows here within the same deadline.
    m_database.run<QString>(
            this,
            [](VendorStore &store) -> std::optional<QString> {
                const int schema = store.database().schemaVersion();
                if (schema < 0)
                    return std::nullopt;
                if (schema != Database::kSchemaVersion)
                    return QStringLiteral("the database has schema %1, this program knows %2")
                            .arg(schema)
                            .arg(Database::kSchemaVersion);
                return QString();
            },
            [reply](const std::optional<QString> &problem) {
                const QString why = !problem ? QStringLiteral("the database does not answer") : *problem;
                if (why.isEmpty())
                    reply(HttpStatus::Ok, "text/plain; charset=utf-8", "ok\n");
                else
                    reply(HttpStatus::ServiceUnavailable, "text/plain; charset=utf-8", why.toUtf8() + '\n');
            });
    return true;
}

void AdminService::missingHandler(const QHttpServerRequest &, QTcpSocket *)
{
    // Every request is answered by handleRequest.
}

} // namespace yz::server
