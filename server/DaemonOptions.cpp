#include "server/DaemonOptions.h"

#include "server/CommandSupport.h"
#include "services/Endpoints.h"

#include <limits>

namespace yz::server {
namespace {

const CollectorConfig kDefaults;

} // namespace

CollectorOptions::CollectorOptions()
    : rate(optionWithDefault("collect-rate", QStringLiteral("requests a second to the search engine"), "R",
                             QString::number(kDefaults.ratePerSecond)))
    , budget(optionWithDefault("collect-budget", QStringLiteral("requests a day, all instances"), "B",
                               QString::number(kDefaults.dailyBudget)))
    , backoff(optionWithDefault("collect-backoff",
                                QStringLiteral("seconds to wait after a refusal page (doubling, at most an hour)"), "S",
                                QString::number(kDefaults.backoffS)))
    , endpoints(QStringLiteral("endpoints"),
                QStringLiteral("JSON file of service base addresses, as yanzhou-cli takes"), QStringLiteral("FILE"))
    , claimTimeout(
              optionWithDefault("claim-timeout",
                                QStringLiteral(
                                        "seconds after which a claimed domain of a vanished instance is free again"),
                                "S", QString::number(kDefaults.claimTimeoutS)))
    , rules(QStringLiteral("rules"), QStringLiteral("rules file (as yanzhou-cli --rules takes) for reading the counts"),
            QStringLiteral("FILE"))
    , brokenWindow(
              optionWithDefault("broken-window",
                                QStringLiteral("a rule is broken when enough of its last N answers are unrecognised"),
                                "N", QString::number(kDefaults.broken.window)))
    , brokenShare(optionWithDefault("broken-share", QStringLiteral("the share of those answers that marks it broken"),
                                    "F", QString::number(kDefaults.broken.share)))
    , interval(optionWithDefault("collect-interval",
                                 QStringLiteral("seconds between a serving instance's looks for work"), "S",
                                 QString::number(kDefaults.roundIntervalS)))
{
}

void CollectorOptions::addTo(QCommandLineParser &parser) const
{
    parser.addOptions({rate, budget, backoff, endpoints, claimTimeout, interval, rules, brokenWindow, brokenShare});
}

void CollectorOptions::read(const QCommandLineParser &parser, CollectorConfig *config, ServiceHosts *hosts) const
{
    bool ok = false;
    const double perSecond = parser.value(rate).toDouble(&ok);
    if (!ok || !(perSecond > 0) || perSecond > 1000)
        refuse(QStringLiteral("--collect-rate wants requests a second, more than 0"));
    qint64 requests = 0, seconds = 0, claimSeconds = 0, intervalSeconds = 0;
    if (!parseInteger(parser.value(budget), 0, std::numeric_limits<qint64>::max(), &requests)
        || !parseInteger(parser.value(backoff), 1, 86400, &seconds)
        || !parseInteger(parser.value(claimTimeout), 1, 86400, &claimSeconds)
        || !parseInteger(parser.value(interval), 1, 86400, &intervalSeconds))
        refuse(QStringLiteral("--collect-budget wants a whole number; --collect-backoff, "
                              "--claim-timeout and --collect-interval seconds from 1"));
    qint64 window = 0;
    const double share = parser.value(brokenShare).toDouble(&ok);
    if (!parseInteger(parser.value(brokenWindow), 1, 10'000, &window) || !ok || !(share > 0) || share > 1)
        refuse(QStringLiteral("--broken-window wants a whole number from 1, --broken-share a share "
                              "above 0 and at most 1"));
    config->broken = {int(window), share};
    config->roundIntervalS = int(intervalSeconds);
    config->ratePerSecond = perSecond;
    config->dailyBudget = requests;
    config->backoffS = int(seconds);
    config->claimTimeoutS = int(claimSeconds);
    config->maxBackoffS = std::max(config->maxBackoffS, int(seconds));
    QString error;
    if (parser.isSet(endpoints) && !applyEndpointsFile(parser.value(endpoints), *hosts, &error))
        refuse(error);
    if (parser.isSet(rules) && !applyRulesFile(parser.value(rules), config->rules, &error))
        refuse(error);
    config->rulesFromFile = parser.isSet(rules);
}

LogOptions::LogOptions()
    : level(optionWithDefault("log-level", QStringLiteral("error, warning, info or debug: the least that is logged"),
                              "LEVEL", logLevelName(LogSettings().level)))
    , noAccessLog(QStringLiteral("no-access-log"), QStringLiteral("no line per answered request"))
{
}

void LogOptions::addTo(QCommandLineParser &parser) const
{
    parser.addOptions({level, noAccessLog});
}

void LogOptions::install(const QCommandLineParser &parser) const
{
    const std::optional<LogLevel> chosen = parseLogLevel(parser.value(level));
    if (!chosen)
        refuse(QStringLiteral("--log-level wants error, warning, info or debug"));
    installLogging({*chosen, !parser.isSet(noAccessLog), stderrIsJournal()});
}

} // namespace yz::server
