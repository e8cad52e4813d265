#include "server/Commands.h"

#include "net/PrintableText.h"
#include "server/Collector.h"
#include "server/CollectorThread.h"
#include "server/CommandSupport.h"
#include "server/ConnectionGuard.h"
#include "server/Database.h"
#include "server/DatabaseThread.h"
#include "server/DomainName.h"
#include "server/RanksImport.h"
#include "server/RulesCommands.h"
#include "server/VendorService.h"
#include "server/VendorStore.h"
#include "services/Endpoints.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QUrl>

#include <cstdio>
#include <functional>
#include <memory>

namespace yz::server {
namespace {

constexpr qint64 kDefaultTop = 10'000'000;

// The collector's options, taken by "serve" and "collect" alike.
struct CollectorOptions {
    QCommandLineOption rate{QStringLiteral("collect-rate"), QStringLiteral("requests a second to the search engine"),
                            QStringLiteral("R"), QStringLiteral("0.5")};
    QCommandLineOption budget{QStringLiteral("collect-budget"), QStringLiteral("requests a day, all instances"),
                              QStringLiteral("B"), QStringLiteral("20000")};
    QCommandLineOption backoff{QStringLiteral("collect-backoff"),
                               QStringLiteral("seconds to wait after a refusal page (doubling, at most an hour)"),
                               QStringLiteral("S"), QStringLiteral("60")};
    QCommandLineOption endpoints{QStringLiteral("endpoints"),
                                 QStringLiteral("JSON file of service base addresses, as yanzhou-cli takes"),
                                 QStringLiteral("FILE")};

    QCommandLineOption
            claimTimeout{QStringLiteral("claim-timeout"),
                         QStringLiteral("seconds after which a claimed domain of a vanished instance is free again"),
                         QStringLiteral("S"), QStringLiteral("300")};

    QCommandLineOption rules{QStringLiteral("rules"),
                             QStringLiteral("rules file (as yanzhou-cli --rules takes) for reading the counts"),
                             QStringLiteral("FILE")};
    QCommandLineOption brokenWindow{QStringLiteral("broken-window"),
                                    QStringLiteral(
                                            "a rule is broken when enough of its last N answers are unrecognised"),
                                    QStringLiteral("N"), QStringLiteral("20")};
    QCommandLineOption brokenShare{QStringLiteral("broken-share"),
                                   QStringLiteral("the share of those answers that marks it broken"),
                                   QStringLiteral("F"), QStringLiteral("0.5")};
    QCommandLineOption interval{QStringLiteral("collect-interval"),
                                QStringLiteral("seconds between a serving instance's looks for work"),
                                QStringLiteral("S"), QStringLiteral("600")};

    void addTo(QCommandLineParser &parser) const
    {
        parser.addOptions({rate, budget, backoff, endpoints, claimTimeout, interval, rules, brokenWindow, brokenShare});
    }

    // Reads the options; the exit status in `status` when they are bad.
    bool read(const QCommandLineParser &parser, CollectorConfig *config, ServiceHosts *hosts, int *status) const
    {
        bool ok = false;
        const double perSecond = parser.value(rate).toDouble(&ok);
        if (!ok || !(perSecond > 0) || perSecond > 1000) {
            *status = usage(QStringLiteral("--collect-rate wants requests a second, more than 0"));
            return false;
        }
        qint64 requests = 0, seconds = 0, claimSeconds = 0, intervalSeconds = 0;
        if (!parseInteger(parser.value(budget), 0, std::numeric_limits<qint64>::max(), &requests)
            || !parseInteger(parser.value(backoff), 1, 86400, &seconds)
            || !parseInteger(parser.value(claimTimeout), 1, 86400, &claimSeconds)
            || !parseInteger(parser.value(interval), 1, 86400, &intervalSeconds)) {
            *status = usage(QStringLiteral("--collect-budget wants a whole number; --collect-backoff, "
                                           "--claim-timeout and --collect-interval seconds from 1"));
            return false;
        }
        qint64 window = 0;
        const double share = parser.value(brokenShare).toDouble(&ok);
        if (!parseInteger(parser.value(brokenWindow), 1, 10'000, &window) || !ok || !(share > 0) || share > 1) {
            *status = usage(QStringLiteral("--broken-window wants a whole number from 1, --broken-share a share "
                                           "above 0 and at most 1"));
            return false;
        }
        config->broken = {int(window), share};
        config->roundIntervalS = int(intervalSeconds);
        config->ratePerSecond = perSecond;
        config->dailyBudget = requests;
        config->backoffS = int(seconds);
        config->claimTimeoutS = int(claimSeconds);
        config->maxBackoffS = std::max(config->maxBackoffS, int(seconds));
        QString error;
        if (parser.isSet(endpoints) && !applyEndpointsFile(parser.value(endpoints), *hosts, &error)) {
            *status = usage(error);
            return false;
        }
        if (parser.isSet(rules) && !applyRulesFile(parser.value(rules), config->rules, &error)) {
            *status = usage(error);
            return false;
        }
        config->rulesFromFile = parser.isSet(rules);
        return true;
    }
};

QString instanceName()
{
    return QSysInfo::machineHostName() + u':' + QString::number(QCoreApplication::applicationPid());
}

int serve(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption listen(QStringLiteral("listen"), QStringLiteral("address and port"),
                                    QStringLiteral("ADDR:PORT"), QStringLiteral("127.0.0.1:8080"));
    const QCommandLineOption publicBase(QStringLiteral("public-base"),
                                        QStringLiteral("the address clients reach the service at"),
                                        QStringLiteral("URL"));
    const QCommandLineOption downloads(QStringLiteral("downloads"),
                                       QStringLiteral("directory holding the package file offered for download"),
                                       QStringLiteral("DIR"));
    const QCommandLineOption perHour(QStringLiteral("suggestions-per-hour"),
                                     QStringLiteral("suggestions accepted per client address and hour"),
                                     QStringLiteral("N"), QStringLiteral("10"));
    const QCommandLineOption
            behindProxy(QStringLiteral("behind-proxy"),
                        QStringLiteral("take the client address from X-Forwarded-For (only behind your own proxy)"));
    const QCommandLineOption registrationsPerHour(QStringLiteral("registrations-per-hour"),
                                                  QStringLiteral("domains registered per client address and hour"),
                                                  QStringLiteral("N"), QStringLiteral("10"));
    const QCommandLineOption idle(QStringLiteral("idle-timeout"),
                                  QStringLiteral("drop a client that starts no request for MS milliseconds"),
                                  QStringLiteral("MS"), QStringLiteral("10000"));
    const QCommandLineOption headTimeout(QStringLiteral("head-timeout"),
                                         QStringLiteral("a request's head must arrive whole within MS milliseconds"),
                                         QStringLiteral("MS"), QStringLiteral("10000"));
    const QCommandLineOption bodyTimeout(QStringLiteral("body-timeout"),
                                         QStringLiteral("a request's body must arrive whole within MS milliseconds"),
                                         QStringLiteral("MS"), QStringLiteral("10000"));
    const QCommandLineOption maxConnections(QStringLiteral("max-connections"),
                                            QStringLiteral("connections served at once"), QStringLiteral("N"),
                                            QStringLiteral("512"));
    const QCommandLineOption trackCap(QStringLiteral("track-cap"),
                                      QStringLiteral(
                                              "domains tracked because their trend picture was asked for, at most"),
                                      QStringLiteral("N"), QStringLiteral("10000"));
    const QCommandLineOption noCollect(QStringLiteral("no-collect"),
                                       QStringLiteral("do not collect indexed-page counts in this instance"));
    parser.addOptions({listen, publicBase, downloads, perHour, registrationsPerHour, behindProxy, idle, headTimeout,
                       bodyTimeout, maxConnections, trackCap, noCollect});
    const CollectorOptions collectorOptions;
    collectorOptions.addTo(parser);
    int status = kExitOk;
    if (!parseArguments(parser, arguments, 0, &status))
        return status;

    const QString listenText = parser.value(listen);
    const qsizetype colon = listenText.lastIndexOf(u':');
    QString host = listenText.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    const QHostAddress address(host);
    qint64 port = 0;
    if (colon < 0 || address.isNull() || !parseInteger(listenText.mid(colon + 1), 0, 65535, &port))
        return usage(QStringLiteral("--listen wants ADDRESS:PORT, e.g. 127.0.0.1:8080, not %1").arg(listenText));
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
                                                 : QStringLiteral("http://%1:%2").arg(listenText.left(colon)).arg(port);
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
    if (!DatabaseAddress::parse(parser.value(databaseOption()), &databaseAddress, &error))
        return usage(error);
    DatabaseThread database(databaseAddress);
    if (!database.start(&error))
        return failure(error);
    auto *guard = new ConnectionGuard(limits);
    if (!guard->listen(address, quint16(port))) {
        const QString listenError = guard->errorString();
        delete guard;
        return failure(QStringLiteral("cannot listen on %1: %2").arg(listenText, listenError));
    }
    const bool ephemeral = port == 0;
    if (ephemeral && !parser.isSet(publicBase))
        config.publicBase = QStringLiteral("http://%1:%2").arg(listenText.left(colon)).arg(guard->serverPort());
    VendorService service(config, database);
    service.serveOn(guard);
    std::unique_ptr<CollectorThread> collector;
    if (!parser.isSet(noCollect)) {
        collector = std::make_unique<CollectorThread>(databaseAddress, hosts, collectorConfig, instanceName());
        if (!collector->start(&error))
            return failure(error);
    }
    write(stderr,
          QStringLiteral("yanzhou-server: listening on %1:%2\n").arg(listenText.left(colon)).arg(guard->serverPort()));
    return QCoreApplication::exec();
}

int versionCommand(const QStringList &words, const QStringList &arguments)
{
    QCommandLineParser parser;
    int status = kExitOk;
    const QString action = words.value(1);
    if (action == QLatin1String("show")) {
        if (!parseArguments(parser, arguments, 0, &status))
            return status;
        auto database = openDatabase(parser, &status);
        if (!database)
            return status;
        VendorStore store(*database);
        const std::optional<int> version = store.version();
        if (!version)
            return failure(store.lastError());
        write(stdout, QString::number(*version) + u'\n');
        return kExitOk;
    }
    if (action != QLatin1String("set"))
        return usage(QStringLiteral("version set N | version show"));
    if (!parseArguments(parser, arguments, 1, &status))
        return status;
    qint64 version = 0;
    if (!parseInteger(parser.positionalArguments().first(), 1, 2147483647, &version))
        return usage(QStringLiteral("the version is a whole number from 1 to 2147483647"));
    auto database = openDatabase(parser, &status);
    if (!database)
        return status;
    VendorStore store(*database);
    return store.setVersion(int(version)) ? kExitOk : failure(store.lastError());
}

int newsCommand(const QStringList &words, const QStringList &arguments)
{
    QCommandLineParser parser;
    int status = kExitOk;
    const QString action = words.value(1);
    const QHash<QString, qsizetype> positional = {{QStringLiteral("add"), 2},
                                                  {QStringLiteral("list"), 0},
                                                  {QStringLiteral("remove"), 1},
                                                  {QStringLiteral("move"), 2}};
    if (!positional.contains(action))
        return usage(QStringLiteral("news add TITLE ADDRESS | news list | news remove ID | news move ID POSITION"));
    if (!parseArguments(parser, arguments, positional.value(action), &status))
        return status;
    const QStringList args = parser.positionalArguments();
    qint64 id = 0, position = 0;
    if (action == QLatin1String("add")) {
        const QString problem = newsItemProblem(args[0], args[1]);
        if (!problem.isEmpty())
            return usage(problem);
    } else if (action != QLatin1String("list")) {
        if (!parseInteger(args[0], 1, std::numeric_limits<qint64>::max(), &id))
            return usage(QStringLiteral("the ID is a whole number from 1 (see news list)"));
        if (action == QLatin1String("move") && !parseInteger(args[1], 1, 1'000'000, &position))
            return usage(QStringLiteral("the position is a whole number from 1"));
    }
    auto database = openDatabase(parser, &status);
    if (!database)
        return status;
    VendorStore store(*database);
    if (action == QLatin1String("add")) {
        const std::optional<qint64> added = store.addNews(args[0], args[1]);
        if (!added)
            return failure(store.lastError());
        write(stdout, QString::number(*added) + u'\n');
        return kExitOk;
    }
    if (action == QLatin1String("list")) {
        const std::optional<QList<NewsItem>> items = store.news();
        if (!items)
            return failure(store.lastError());
        int position = 0;
        for (const NewsItem &item : *items)
            write(stdout,
                  QStringLiteral("%1\t%2\t%3\t%4\n")
                          .arg(++position)
                          .arg(item.id)
                          .arg(printable(item.title), printable(item.address)));
        return kExitOk;
    }
    const bool done = action == QLatin1String("remove") ? store.removeNews(id) : store.moveNews(id, int(position));
    if (done)
        return kExitOk;
    return store.lastError().isEmpty() ? usage(QStringLiteral("no news item has the ID %1").arg(id))
                                       : failure(store.lastError());
}

// "2026-12-07" (midnight UTC) or a full ISO 8601 time.
QDateTime parseSince(const QString &text)
{
    const QDate day = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (day.isValid())
        return QDateTime(day, QTime(0, 0), Qt::UTC);
    return QDateTime::fromString(text, Qt::ISODate);
}

int suggestionsCommand(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption since(QStringLiteral("since"), QStringLiteral("only those received from DATE on"),
                                   QStringLiteral("DATE"));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("one JSON object per line"));
    parser.addOptions({since, json});
    int status = kExitOk;
    if (!parseArguments(parser, arguments, 0, &status))
        return status;
    QDateTime from;
    if (parser.isSet(since)) {
        from = parseSince(parser.value(since));
        if (!from.isValid())
            return usage(QStringLiteral("--since wants a date as YYYY-MM-DD"));
    }
    auto database = openDatabase(parser, &status);
    if (!database)
        return status;
    VendorStore store(*database);
    const std::optional<QList<Suggestion>> list = store.suggestions(from);
    if (!list)
        return failure(store.lastError());
    for (const Suggestion &s : *list) {
        const QString time = s.receivedAt.toString(Qt::ISODate);
        if (parser.isSet(json)) {
            const QJsonObject object = {{QStringLiteral("id"), s.id},
                                        {QStringLiteral("received_at"), time},
                                        {QStringLiteral("client"), s.client},
                                        {QStringLiteral("text"), s.body}};
            write(stdout, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + u'\n');
            continue;
        }
        // A heading line, then the text's lines indented; whatever else a
        // client sent that could steer a terminal is shown as U+FFFD.
        write(stdout, QStringLiteral("#%1 %2 %3\n").arg(s.id).arg(time, printable(s.client)));
        QString body = s.body;
        body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        for (const QString &line : body.split(u'\n'))
            write(stdout, QStringLiteral("  ") + printable(line) + u'\n');
    }
    return kExitOk;
}

int ranksCommand(const QStringList &words, const QStringList &arguments)
{
    if (words.value(1) != QLatin1String("import"))
        return usage(QStringLiteral("ranks import FILE|- [--top N] [--allow-empty] [--force]"));
    QCommandLineParser parser;
    const QCommandLineOption top(QStringLiteral("top"), QStringLiteral("keep the first N rows"), QStringLiteral("N"),
                                 QString::number(kDefaultTop));
    const QCommandLineOption allowEmpty(QStringLiteral("allow-empty"),
                                        QStringLiteral("accept an input without ranks (empties the table)"));
    const QCommandLineOption force(QStringLiteral("force"),
                                   QStringLiteral("accept an input with less than half the rows of the table"));
    parser.addOptions({top, allowEmpty, force});
    int status = kExitOk;
    if (!parseArguments(parser, arguments, 1, &status))
        return status;
    qint64 rows = 0;
    if (!parseInteger(parser.value(top), 1, std::numeric_limits<qint64>::max(), &rows))
        return usage(QStringLiteral("--top wants a whole number from 1"));
    const QString name = parser.positionalArguments().first();
    QFile input(name == QLatin1String("-") ? QString() : name);
    const bool opened =
            name == QLatin1String("-") ? input.open(stdin, QIODevice::ReadOnly) : input.open(QIODevice::ReadOnly);
    if (!opened)
        return usage(QStringLiteral("cannot read %1: %2").arg(name, input.errorString()));
    auto database = openDatabase(parser, &status);
    if (!database)
        return status;
    QElapsedTimer clock;
    clock.start();
    const RanksImportResult result =
            importRanks(input, *database, rows, {parser.isSet(allowEmpty), parser.isSet(force)});
    if (result.refused)
        return usage(result.error);
    if (!result.ok)
        return result.error.startsWith(QLatin1String("line "))
                ? usage(result.error + QStringLiteral("; nothing changed"))
                : failure(result.error);
    const double seconds = std::max<qint64>(1, clock.elapsed()) / 1000.0;
    write(stderr,
          QStringLiteral("imported %1 rows in %2 s (%3 rows/s)\n")
                  .arg(result.rows)
                  .arg(seconds, 0, 'f', 1)
                  .arg(qint64(double(result.rows) / seconds)));
    return kExitOk;
}

// A consistent copy of a SQLite database while the service goes on writing:
// SQLite copies from one read transaction, what still lies in the write-ahead
// log included (copying the file alone misses that). Written under a
// temporary name and renamed, so FILE is whole or absent.
int backupCommand(const QStringList &arguments)
{
    QCommandLineParser parser;
    int status = kExitOk;
    if (!parseArguments(parser, arguments, 1, &status))
        return status;
    const QString target = parser.positionalArguments().first();
    if (QFileInfo::exists(target))
        return usage(QStringLiteral("%1 exists already; back up to a new file").arg(printable(target)));
    auto database = openDatabase(parser, &status);
    if (!database)
        return status;
    if (database->isPostgres())
        return usage(QStringLiteral("PostgreSQL is backed up with its own tools: pg_dump -Fc DATABASE > FILE"));
    const QString partial = target + QStringLiteral(".partial");
    QFile::remove(partial);
    QSqlQuery query(database->db());
    query.prepare(QStringLiteral("VACUUM INTO ?"));
    query.addBindValue(partial);
    if (!query.exec()) {
        QFile::remove(partial);
        return failure(QStringLiteral("cannot back up to %1: %2").arg(printable(target), query.lastError().text()));
    }
    if (!QFile::rename(partial, target)) {
        QFile::remove(partial);
        return failure(QStringLiteral("cannot write %1").arg(printable(target)));
    }
    return kExitOk;
}

int historyCommand(const QStringList &words, const QStringList &arguments)
{
    if (words.value(1) != QLatin1String("add"))
        return usage(QStringLiteral("history add DOMAIN YYYY-MM-DD COUNT"));
    QCommandLineParser parser;
    int status = kExitOk;
    if (!parseArguments(parser, arguments, 3, &status))
        return status;
    const QStringList args = parser.positionalArguments();
    const QString host = hostKey(args[0]);
    if (host.isEmpty())
        return usage(QStringLiteral("not a host name: %1").arg(printable(args[0])));
    const QDate day = QDate::fromString(args[1], QStringLiteral("yyyy-MM-dd"));
    if (!day.isValid())
        return usage(QStringLiteral("the date is YYYY-MM-DD, not %1").arg(printable(args[1])));
    qint64 count = 0;
    if (!parseInteger(args[2], 0, std::numeric_limits<qint64>::max(), &count))
        return usage(QStringLiteral("the count is a whole number from 0"));
    auto database = openDatabase(parser, &status);
    if (!database)
        return status;
    VendorStore store(*database);
    return store.addHistory(host, day, count) ? kExitOk : failure(store.lastError());
}

int collectCommand(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption once(QStringLiteral("once"), QStringLiteral("run one round and exit"));
    parser.addOption(once);
    const CollectorOptions collectorOptions;
    collectorOptions.addTo(parser);
    int status = kExitOk;
    if (!parseArguments(parser, arguments, 0, &status))
        return status;
    CollectorConfig config;
    ServiceHosts hosts;
    if (!collectorOptions.read(parser, &config, &hosts, &status))
        return status;
    auto database = openDatabase(parser, &status);
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

int domainsList(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption after(QStringLiteral("after"), QStringLiteral("start after this name (paging)"),
                                   QStringLiteral("NAME"));
    const QCommandLineOption limit(QStringLiteral("limit"), QStringLiteral("at most N lines"), QStringLiteral("N"),
                                   QStringLiteral("100"));
    parser.addOptions({after, limit});
    int status = kExitOk;
    if (!parseArguments(parser, arguments, 0, &status))
        return status;
    qint64 lines = 0;
    if (!parseInteger(parser.value(limit), 1, 1'000'000, &lines))
        return usage(QStringLiteral("--limit wants a whole number from 1"));
    auto database = openDatabase(parser, &status);
    if (!database)
        return status;
    QString error;
    const auto list =
            domainStatuses(*database, parser.value(after), int(lines), QDateTime::currentDateTimeUtc().date(), &error);
    if (!list)
        return failure(error);
    for (const DomainStatus &d : *list) {
        write(stdout,
              QStringLiteral("%1\t%2\t%3\t%4\tnext %5\n")
                      .arg(d.name, d.lastCount ? QString::number(*d.lastCount) : QStringLiteral("-"),
                           printable(d.lastOutcome.isEmpty() ? QStringLiteral("-") : d.lastOutcome),
                           d.lastChecked.isEmpty() ? QStringLiteral("-") : d.lastChecked, d.nextDue));
    }
    if (list->size() == lines)
        write(stderr, QStringLiteral("more: --after %1\n").arg(list->last().name));
    return kExitOk;
}

int domainsCommand(const QStringList &words, const QStringList &arguments)
{
    if (words.value(1) == QLatin1String("list"))
        return domainsList(arguments);
    if (words.value(1) != QLatin1String("add"))
        return usage(QStringLiteral("domains add DOMAIN | domains list [--after NAME] [--limit N]"));
    QCommandLineParser parser;
    int status = kExitOk;
    if (!parseArguments(parser, arguments, 1, &status))
        return status;
    const QString host = hostKey(parser.positionalArguments().first());
    if (host.isEmpty())
        return usage(QStringLiteral("not a host name: %1").arg(printable(parser.positionalArguments().first())));
    auto database = openDatabase(parser, &status);
    if (!database)
        return status;
    VendorStore store(*database);
    return store.track(host, QStringLiteral("operator")) ? kExitOk : failure(store.lastError());
}

} // namespace

QString usageText()
{
    return QStringLiteral(
            "Usage: yanzhou-server COMMAND [--db URL] ...\n"
            "  serve [--listen ADDR:PORT] [--public-base URL] [--downloads DIR]\n"
            "        [--suggestions-per-hour N] [--registrations-per-hour N] [--behind-proxy]\n"
            "        [--idle-timeout MS] [--head-timeout MS] [--body-timeout MS] [--max-connections N]\n"
            "  version set N | version show\n"
            "  news add TITLE ADDRESS | news list | news remove ID | news move ID POSITION\n"
            "  suggestions [--since YYYY-MM-DD] [--json]\n"
            "  ranks import FILE|- [--top N] [--allow-empty] [--force]\n"
            "  backup FILE\n"
            "  history add DOMAIN YYYY-MM-DD COUNT\n"
            "  domains add DOMAIN | domains list [--after NAME] [--limit N]\n"
            "  collect [--once] [--collect-rate R] [--collect-budget B] [--collect-backoff S] [--claim-timeout S]\n"
            "          [--collect-interval S] [--rules FILE] [--broken-window N] [--broken-share F]\n"
            "          [--endpoints FILE]\n"
            "  rules keygen --out KEYFILE | rules publish FILE --key KEYFILE | rules list | rules show [N]\n"
            "  rules health [--hours H]\n"
            "serve also collects (unless --no-collect) and takes the collect options and --track-cap N.\n"
            "--db is a SQLite file (default yanzhou-server.sqlite) or postgresql://user@host[:port]/database.\n"
            "Exit status: 0 done, 1 the database or network failed, 2 bad arguments or input.\n");
}

int runCommand(const QStringList &arguments)
{
    // The command words come first; what follows them goes to the parser
    // (which wants the program name in front).
    QStringList words;
    qsizetype i = 1;
    for (; i < arguments.size() && words.size() < 2 && !arguments[i].startsWith(u'-'); ++i)
        words.append(arguments[i]);
    const QString command = words.value(0);
    if (command.isEmpty() && arguments.contains(QStringLiteral("--help"))) {
        write(stdout, usageText());
        return kExitOk;
    }
    static const QStringList withAction = {QStringLiteral("version"), QStringLiteral("news"),
                                           QStringLiteral("ranks"),   QStringLiteral("history"),
                                           QStringLiteral("domains"), QStringLiteral("rules")};
    // Commands without an action word give the second word back to the parser.
    if (!withAction.contains(command) && words.size() == 2) {
        words.removeLast();
        --i;
    }
    const QStringList rest = QStringList{arguments.value(0)} + arguments.mid(i);
    if (command == QLatin1String("serve"))
        return serve(rest);
    if (command == QLatin1String("version"))
        return versionCommand(words, rest);
    if (command == QLatin1String("news"))
        return newsCommand(words, rest);
    if (command == QLatin1String("suggestions"))
        return suggestionsCommand(rest);
    if (command == QLatin1String("ranks"))
        return ranksCommand(words, rest);
    if (command == QLatin1String("history"))
        return historyCommand(words, rest);
    if (command == QLatin1String("backup"))
        return backupCommand(rest);
    if (command == QLatin1String("domains"))
        return domainsCommand(words, rest);
    if (command == QLatin1String("collect"))
        return collectCommand(rest);
    if (command == QLatin1String("rules"))
        return rulesCommand(words, rest);
    write(stderr, usageText());
    return kExitUsage;
}

} // namespace yz::server
