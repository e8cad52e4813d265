#include "server/DaemonCommands.h"

#include "net/ProgramVersion.h"

#include "server/AdminService.h"
#include "server/CollectorThread.h"
#include "server/Commands.h"
#include "server/ConnectionGuard.h"
#include "server/DaemonOptions.h"
#include "server/DatabaseThread.h"
#include "server/Lifecycle.h"
#include "server/Metrics.h"
#include "server/ServeOptions.h"
#include "server/VendorService.h"

#include <QCoreApplication>
#include <QSysInfo>

#include <memory>

namespace yz::server {
namespace {

QString instanceName()
{
    return QSysInfo::machineHostName() + u':' + QString::number(QCoreApplication::applicationPid());
}

// A guard listening at `where`; null with the reason, naming the listener
// (`what`), when it cannot.
ConnectionGuard *listenAt(const ListenAddress &where, const ConnectionLimits &limits, const QString &what,
                          QString *error)
{
    auto *guard = new ConnectionGuard(limits);
    if (guard->listen(where.address, where.port))
        return guard;
    *error = QStringLiteral("cannot listen on %1:%2 (%3): %4")
                     .arg(where.text)
                     .arg(where.port)
                     .arg(what, guard->errorString());
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
        return failure(error);
    ConnectionGuard *guard = listenAt(settings.listen, settings.limits, QStringLiteral("--listen"), &error);
    if (!guard)
        return failure(error);
    // The operator's listener takes a few connections and no long requests.
    ConnectionLimits adminLimits;
    adminLimits.maxConnections = 16;
    ConnectionGuard *adminGuard = nullptr;
    if (settings.admin) {
        adminGuard =
                listenAt(*settings.admin, adminLimits, QStringLiteral("--admin-listen, /healthz and /metrics"), &error);
        if (!adminGuard) {
            delete guard;
            return failure(error);
        }
    }
    if (settings.listen.port == 0 && !settings.publicBaseGiven)
        settings.service.publicBase = QStringLiteral("http://%1:%2").arg(settings.listen.text).arg(guard->serverPort());
    metrics().setOpenConnections([guard] { return guard->openConnections(); });
    VendorService service(settings.service, database);
    service.serveOn(guard);
    AdminService admin(database);
    if (adminGuard)
        admin.serveOn(adminGuard);
    std::unique_ptr<CollectorThread> collector;
    if (settings.collect) {
        collector = std::make_unique<CollectorThread>(databaseAddress, hosts, collectorConfig, instanceName());
        if (!collector->start(&error))
            return failure(error);
    }
    const QString operatorListener = adminGuard
            ? QStringLiteral("/healthz and /metrics on %1:%2").arg(settings.admin->text).arg(adminGuard->serverPort())
            : QStringLiteral("no operator listener (--admin-listen)");
    qCInfo(lcServe, "listening on %s:%d, %s, database %s, version %d", qPrintable(settings.listen.text),
           guard->serverPort(), qPrintable(operatorListener), qPrintable(databaseAddress.shown()),
           int(kProgramVersion));
    QList<ConnectionGuard *> listeners{guard};
    if (adminGuard)
        listeners.append(adminGuard);
    Lifecycle lifecycle(listeners, [&service] {
        return QStringLiteral("%1 pictures and ranks dropped, to be read again; the downloads directory is read at "
                              "each request and the log goes to standard error, so nothing else needed reopening")
                .arg(service.forgetDrawnAnswers());
    });
    lifecycle.ready();
    const int exitStatus = QCoreApplication::exec();
    collector.reset();
    qCInfo(lcServe, "stopped");
    return exitStatus;
}

// Adds the options the long-running commands share, parses the arguments
// and installs the logging they ask for; false with the exit status.
bool parseLongRunning(QCommandLineParser &parser, const Invocation &call, const CollectorOptions &collectorOptions,
                      const LogOptions &logOptions, int *status)
{
    collectorOptions.addTo(parser);
    logOptions.addTo(parser);
    return parseArguments(parser, call, 0, status) && logOptions.install(parser, status);
}

} // namespace

int serveCommand(const Invocation &call)
{
    QCommandLineParser parser;
    const ServeOptions serveOptions;
    serveOptions.addTo(parser);
    const CollectorOptions collectorOptions;
    const LogOptions logOptions;
    int status = kExitOk;
    if (!parseLongRunning(parser, call, collectorOptions, logOptions, &status))
        return status;
    ServeSettings settings;
    CollectorConfig collectorConfig;
    ServiceHosts hosts;
    DatabaseAddress databaseAddress;
    if (!serveOptions.read(parser, &settings, &status)
        || !collectorOptions.read(parser, &collectorConfig, &hosts, &status)
        || !serveOptions.readPublicBase(parser, &settings, &status)
        || !databaseAddressOf(parser, &databaseAddress, &status))
        return status;
    return runService(std::move(settings), databaseAddress, hosts, collectorConfig);
}

int collectCommand(const Invocation &call)
{
    QCommandLineParser parser;
    const QCommandLineOption once(QStringLiteral("once"), QStringLiteral("run one round and exit"));
    parser.addOption(once);
    const CollectorOptions collectorOptions;
    const LogOptions logOptions;
    int status = kExitOk;
    if (!parseLongRunning(parser, call, collectorOptions, logOptions, &status))
        return status;
    CollectorConfig config;
    ServiceHosts hosts;
    if (!collectorOptions.read(parser, &config, &hosts, &status))
        return status;
    auto database = openDatabase(parser, OpenFor::Writing, &status);
    if (!database)
        return status;
    Collector collector(*database, hosts, config, instanceName());
    if (parser.isSet(once)) {
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
