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
#include "server/VendorService.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QSysInfo>
#include <QUrl>

#include <limits>
#include <memory>

namespace yz::server {
namespace {

const QString kDefaultListen = QStringLiteral("127.0.0.1:8080");
// The operator's listener is off unless asked for, so that instances told
// apart by --listen and --db alone start side by side.
const QString kAdminListenExample = QStringLiteral("127.0.0.1:8081");

QString instanceName()
{
    return QSysInfo::machineHostName() + u':' + QString::number(QCoreApplication::applicationPid());
}

struct ListenAddress {
    QString text;
    QHostAddress address;
    quint16 port = 0;
};

// "ADDRESS:PORT", the address of an IPv6 host in brackets.
std::optional<ListenAddress> parseListen(const QString &text)
{
    const qsizetype colon = text.lastIndexOf(u':');
    QString host = text.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    const QHostAddress address(host);
    qint64 port = 0;
    if (colon < 0 || address.isNull() || !parseInteger(text.mid(colon + 1), 0, 65535, &port))
        return std::nullopt;
    return ListenAddress{text.left(colon), address, quint16(port)};
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

} // namespace

int serveCommand(const Invocation &call)
{
    const ServiceConfig serviceDefaults;
    const ConnectionLimits limitDefaults;
    QCommandLineParser parser;
    const QCommandLineOption listen =
            optionWithDefault("listen", QStringLiteral("address and port"), "ADDR:PORT", kDefaultListen);
    const QCommandLineOption adminListen(
            QStringLiteral("admin-listen"),
            QStringLiteral("address and port of /healthz, /readyz and /metrics, for the operator only, e.g. %1 "
                           "(default: none)")
                    .arg(kAdminListenExample),
            QStringLiteral("ADDR:PORT"));
    const QCommandLineOption publicBase(QStringLiteral("public-base"),
                                        QStringLiteral("the address clients reach the service at "
                                                       "(default: http:// and the --listen address)"),
                                        QStringLiteral("URL"));
    const QCommandLineOption downloads(QStringLiteral("downloads"),
                                       QStringLiteral(
                                               "directory whose newest yanzhou_*_amd64.deb is offered for download"),
                                       QStringLiteral("DIR"));
    const QCommandLineOption perHour = optionWithDefault("suggestions-per-hour",
                                                         QStringLiteral("suggestions accepted per client "
                                                                        "address and hour"),
                                                         "N", QString::number(serviceDefaults.suggestionsPerHour));
    const QCommandLineOption
            behindProxy(QStringLiteral("behind-proxy"),
                        QStringLiteral("take the client address from X-Forwarded-For (only behind your own proxy)"));
    const QCommandLineOption registrationsPerHour =
            optionWithDefault("registrations-per-hour",
                              QStringLiteral("domains registered per client address and hour"), "N",
                              QString::number(serviceDefaults.registrationsPerHour));
    const QCommandLineOption idle =
            optionWithDefault("idle-timeout",
                              QStringLiteral("drop a client that starts no request for MS milliseconds"), "MS",
                              QString::number(limitDefaults.idleMs));
    const QCommandLineOption headTimeout =
            optionWithDefault("head-timeout",
                              QStringLiteral("a request's head must arrive whole within MS milliseconds"), "MS",
                              QString::number(limitDefaults.headTimeoutMs));
    const QCommandLineOption bodyTimeout =
            optionWithDefault("body-timeout",
                              QStringLiteral("a request's body must arrive whole within MS milliseconds"), "MS",
                              QString::number(limitDefaults.bodyTimeoutMs));
    const QCommandLineOption maxConnections =
            optionWithDefault("max-connections", QStringLiteral("connections served at once"), "N",
                              QString::number(limitDefaults.maxConnections));
    const QCommandLineOption trackCap =
            optionWithDefault("track-cap",
                              QStringLiteral("domains tracked because their trend picture was asked for, at most"), "N",
                              QString::number(serviceDefaults.trackCap));
    const QCommandLineOption noCollect(QStringLiteral("no-collect"),
                                       QStringLiteral("do not collect indexed-page counts in this instance"));
    parser.addOptions({listen, adminListen, publicBase, downloads, perHour, registrationsPerHour, behindProxy, idle,
                       headTimeout, bodyTimeout, maxConnections, trackCap, noCollect});
    const CollectorOptions collectorOptions;
    collectorOptions.addTo(parser);
    const LogOptions logOptions;
    logOptions.addTo(parser);
    int status = kExitOk;
    if (!parseArguments(parser, call, 0, &status) || !logOptions.install(parser, &status))
        return status;

    const std::optional<ListenAddress> where = parseListen(parser.value(listen));
    if (!where)
        return usage(QStringLiteral("--listen wants ADDRESS:PORT, e.g. %1, not %2")
                             .arg(kDefaultListen, parser.value(listen)));
    const std::optional<ListenAddress> adminWhere =
            parser.isSet(adminListen) ? parseListen(parser.value(adminListen)) : std::nullopt;
    if (parser.isSet(adminListen) && !adminWhere)
        return usage(QStringLiteral("--admin-listen wants ADDRESS:PORT, e.g. %1, not %2")
                             .arg(kAdminListenExample, parser.value(adminListen)));
    qint64 suggestionsPerHour = 0, registrations = 0;
    if (!parseInteger(parser.value(perHour), 1, 1'000'000, &suggestionsPerHour))
        return usage(QStringLiteral("--suggestions-per-hour wants a whole number from 1"));
    if (!parseInteger(parser.value(registrationsPerHour), 1, 1'000'000, &registrations))
        return usage(QStringLiteral("--registrations-per-hour wants a whole number from 1"));

    ConnectionLimits limits;
    qint64 idleMs = 0, headMs = 0, bodyMs = 0, connections = 0;
    if (!parseInteger(parser.value(idle), 100, 3'600'000, &idleMs)
        || !parseInteger(parser.value(headTimeout), 100, 3'600'000, &headMs)
        || !parseInteger(parser.value(bodyTimeout), 100, 3'600'000, &bodyMs))
        return usage(QStringLiteral("--idle-timeout, --head-timeout and --body-timeout want milliseconds from 100"));
    if (!parseInteger(parser.value(maxConnections), 1, 100'000, &connections))
        return usage(QStringLiteral("--max-connections wants a whole number from 1"));
    qint64 cap = 0;
    if (!parseInteger(parser.value(trackCap), 0, std::numeric_limits<qint64>::max(), &cap))
        return usage(QStringLiteral("--track-cap wants a whole number"));
    CollectorConfig collectorConfig;
    ServiceHosts hosts;
    if (!collectorOptions.read(parser, &collectorConfig, &hosts, &status))
        return status;
    limits.idleMs = int(idleMs);
    limits.headTimeoutMs = int(headMs);
    limits.bodyTimeoutMs = int(bodyMs);
    limits.maxConnections = int(connections);

    ServiceConfig config;
    config.publicBase = parser.isSet(publicBase) ? parser.value(publicBase)
                                                 : QStringLiteral("http://%1:%2").arg(where->text).arg(where->port);
    const QUrl base(config.publicBase, QUrl::StrictMode);
    if (!base.isValid() || (base.scheme() != QLatin1String("http") && base.scheme() != QLatin1String("https"))
        || base.host().isEmpty())
        return usage(QStringLiteral("--public-base wants an http(s) address, not %1").arg(config.publicBase));
    config.downloadsDir = parser.value(downloads);
    config.suggestionsPerHour = int(suggestionsPerHour);
    config.registrationsPerHour = int(registrations);
    config.behindProxy = parser.isSet(behindProxy);
    config.trackCap = cap;

    DatabaseAddress databaseAddress;
    QString error;
    if (!databaseAddressOf(parser, &databaseAddress, &status))
        return status;
    DatabaseThread database(databaseAddress);
    if (!database.start(&error))
        return failure(error);
    ConnectionGuard *guard = listenAt(*where, limits, QStringLiteral("--listen"), &error);
    if (!guard)
        return failure(error);
    // The operator's listener takes a few connections and no long requests.
    ConnectionLimits adminLimits;
    adminLimits.maxConnections = 16;
    ConnectionGuard *adminGuard = nullptr;
    if (adminWhere) {
        adminGuard =
                listenAt(*adminWhere, adminLimits, QStringLiteral("--admin-listen, /healthz and /metrics"), &error);
        if (!adminGuard) {
            delete guard;
            return failure(error);
        }
    }
    if (where->port == 0 && !parser.isSet(publicBase))
        config.publicBase = QStringLiteral("http://%1:%2").arg(where->text).arg(guard->serverPort());
    metrics().setOpenConnections([guard] { return guard->openConnections(); });
    VendorService service(config, database);
    service.serveOn(guard);
    AdminService admin(database);
    if (adminGuard)
        admin.serveOn(adminGuard);
    std::unique_ptr<CollectorThread> collector;
    if (!parser.isSet(noCollect)) {
        collector = std::make_unique<CollectorThread>(databaseAddress, hosts, collectorConfig, instanceName());
        if (!collector->start(&error))
            return failure(error);
    }
    const QString operatorListener = adminGuard
            ? QStringLiteral("/healthz and /metrics on %1:%2").arg(adminWhere->text).arg(adminGuard->serverPort())
            : QStringLiteral("no operator listener (--admin-listen)");
    qCInfo(lcServe, "listening on %s:%d, %s, database %s, version %d", qPrintable(where->text), guard->serverPort(),
           qPrintable(operatorListener), qPrintable(databaseAddress.shown()), int(kProgramVersion));
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

int collectCommand(const Invocation &call)
{
    QCommandLineParser parser;
    const QCommandLineOption once(QStringLiteral("once"), QStringLiteral("run one round and exit"));
    parser.addOption(once);
    const CollectorOptions collectorOptions;
    collectorOptions.addTo(parser);
    const LogOptions logOptions;
    logOptions.addTo(parser);
    int status = kExitOk;
    if (!parseArguments(parser, call, 0, &status) || !logOptions.install(parser, &status))
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
