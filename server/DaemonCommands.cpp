#include "server/DaemonCommands.h"

#include "net/ProgramVersion.h"

#include "server/AdminService.h"
#include "server/CollectorThread.h"
#include "server/CommandSupport.h"
#include "server/ConnectionGuard.h"
#include "server/DaemonOptions.h"
#include "server/DatabaseThread.h"
#include "server/HttpThreads.h"
#include "server/Lifecycle.h"
#include "server/Metrics.h"
#include "server/ServeOptions.h"
#include "server/SharedAnswers.h"

#include <QCoreApplication>
#include <QSysInfo>

#include <memory>

namespace yz::server {
namespace {

QString instanceName()
{
    return QSysInfo::machineHostName() + u':' + QString::number(QCoreApplication::applicationPid());
}

// Why a listener (`what`) could not take its address, for the operator.
QString cannotListen(const ListenAddress &where, const QString &what, const QString &reason)
{
    return QStringLiteral("cannot listen on %1:%2 (%3): %4").arg(where.text).arg(where.port).arg(what, reason);
}

// A guard listening at `where`; null with the reason, naming the listener
// (`what`), when it cannot.
ConnectionGuard *listenAt(const ListenAddress &where, const ConnectionLimits &limits, const QString &what,
                          QString *error)
{
    auto *guard = new ConnectionGuard(limits);
    if (guard->listen(where.address, where.port))
        return guard;
    *error = cannotListen(where, what, guard->errorString());
    delete guard;
    return nullptr;
}

// Serves until stopped: the listeners, the database thread, the collector
// unless told not to, and the lifecycle that stops and reloads them.
int runService(ServeSettings settings, const DatabaseAddress &databaseAddress, const ServiceHosts &hosts,
               const CollectorConfig &collectorConfig)
{
    QString error;
    DatabaseThread database(databaseAddress);
    if (!database.start(&error))
        return report({ErrorKind::Failure, error});
    HttpThreads http(settings.httpThreads, settings.limits);
    if (!http.listen(settings.listen, &error))
        return report({ErrorKind::Failure, cannotListen(settings.listen, QStringLiteral("--listen"), error)});
    // The operator's listener takes a few connections and no long requests.
    ConnectionLimits adminLimits;
    adminLimits.maxConnections = 16;
    ConnectionGuard *adminGuard = nullptr; // the admin service's once bound
    if (settings.admin) {
        adminGuard =
                listenAt(*settings.admin, adminLimits, QStringLiteral("--admin-listen, /healthz and /metrics"), &error);
        if (!adminGuard)
            return report({ErrorKind::Failure, error});
    }
    if (settings.listen.port == 0 && !settings.publicBaseGiven)
        settings.service.publicBase = QStringLiteral("http://%1:%2").arg(settings.listen.text).arg(http.port());
    metrics().setOpenConnections([&http] { return http.openConnections(); });
    SharedAnswers shared(settings.service.suggestionsPerHour, settings.service.registrationsPerHour);
    if (!http.start(settings.service, database, shared, &error))
        return report({ErrorKind::Failure, cannotListen(settings.listen, QStringLiteral("--listen"), error)});
    AdminService admin(database);
    if (adminGuard)
        admin.serveOn(adminGuard);
    std::unique_ptr<CollectorThread> collector;
    if (settings.collect) {
        collector = std::make_unique<CollectorThread>(databaseAddress, hosts, collectorConfig, instanceName());
        if (!collector->start(&error))
            return report({ErrorKind::Failure, error});
    }
    const QString operatorListener = adminGuard
            ? QStringLiteral("/healthz and /metrics on %1:%2").arg(settings.admin->text).arg(adminGuard->serverPort())
            : QStringLiteral("no operator listener (--admin-listen)");
    const QString threads =
            settings.httpThreads > 1 ? QStringLiteral(", %1 HTTP threads").arg(settings.httpThreads) : QString();
    qCInfo(lcServe, "listening on %s:%d, %s, database %s, version %d%s", qPrintable(settings.listen.text), http.port(),
           qPrintable(operatorListener), qPrintable(databaseAddress.shown()), int(kProgramVersion),
           qPrintable(threads));
    const Listening listening{[&http, adminGuard] {
                                  http.stopAccepting();
                                  if (adminGuard)
                                      adminGuard->stopListening();
                              },
                              [&http, adminGuard] {
                                  return http.busyConnections() + (adminGuard ? adminGuard->busyConnections() : 0);
                              }};
    Lifecycle lifecycle(listening, [&shared] {
        return QStringLiteral("%1 pictures and ranks dropped, to be read again; the downloads directory is read at "
                              "each request and the log goes to standard error, so nothing else needed reopening")
                .arg(shared.forgetDrawn());
    });
    http.serve();
    lifecycle.ready();
    const int exitStatus = QCoreApplication::exec();
    collector.reset();
    metrics().setOpenConnections({});
    qCInfo(lcServe, "stopped");
    return exitStatus;
}

} // namespace

void declareServe(QCommandLineParser &parser)
{
    ServeOptions().addTo(parser);
    CollectorOptions().addTo(parser);
    LogOptions().addTo(parser);
}

int serveCommand(CommandCall &call)
{
    LogOptions().install(call.parser);
    ServeSettings settings;
    CollectorConfig collectorConfig;
    ServiceHosts hosts;
    const ServeOptions serveOptions;
    serveOptions.read(call.parser, &settings);
    CollectorOptions().read(call.parser, &collectorConfig, &hosts);
    serveOptions.readPublicBase(call.parser, &settings);
    return runService(std::move(settings), databaseAddressOf(call.parser), hosts, collectorConfig);
}

void declareCollect(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("once"), QStringLiteral("run one round and exit")});
    CollectorOptions().addTo(parser);
    LogOptions().addTo(parser);
}

int collectCommand(CommandCall &call)
{
    LogOptions().install(call.parser);
    CollectorConfig config;
    ServiceHosts hosts;
    CollectorOptions().read(call.parser, &config, &hosts);
    Collector collector(call.database(), hosts, config, instanceName());
    if (call.isSet("once")) {
        QObject::connect(
                &collector, &Collector::roundFinished, QCoreApplication::instance(),
                [&collector] {
                    const Collector::Totals totals = collector.totals();
                    write(stderr,
                          QStringLiteral("collected %1 counts, %2 failures\n").arg(totals.counted).arg(totals.failed));
                    QCoreApplication::exit(kExitOk);
                },
                Qt::QueuedConnection);
        collector.runRound();
    } else {
        collector.start();
    }
    return QCoreApplication::exec();
}

} // namespace yz::server
