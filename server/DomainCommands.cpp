#include "server/DomainCommands.h"

#include "net/PrintableText.h"
#include "net/TransportStatus.h"
#include "server/CollectQueue.h"
#include "server/DomainName.h"
#include "server/VendorStore.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <limits>

namespace yz::server {
namespace {

QString transportInWords(int code)
{
    switch (code) {
    case transport::kNotStarted:
        return QStringLiteral("could not be asked");
    case transport::kTimedOut:
        return QStringLiteral("no answer in time");
    case transport::kNameNotResolved:
        return QStringLiteral("host name not found");
    case transport::kCannotConnect:
        return QStringLiteral("could not connect");
    case transport::kConnectionAborted:
        return QStringLiteral("connection broken off");
    case transport::kInvalidResponse:
        return QStringLiteral("answer was not HTTP");
    default:
        return QStringLiteral("network error %1").arg(code);
    }
}

constexpr int kDefaultLines = 100;

// The host name an argument names; refuses what is none.
QString hostArgument(const QString &text)
{
    const QString host = hostKey(text);
    if (host.isEmpty())
        refuse(QStringLiteral("not a host name: %1").arg(printable(text)));
    return host;
}

} // namespace

QString outcomeInWords(const QString &stored)
{
    if (stored.isEmpty())
        return QStringLiteral("not checked yet");
    if (stored == QLatin1String("ok"))
        return QStringLiteral("counted");
    const QString detail = stored.section(u' ', 1);
    if (stored.startsWith(u'频'))
        return detail.isEmpty() ? QStringLiteral("refused by the search engine")
                                : QStringLiteral("refused by the search engine (%1)").arg(detail);
    if (stored.startsWith(u'X'))
        return detail.isEmpty() ? QStringLiteral("page not recognised")
                                : QStringLiteral("page not recognised: %1").arg(detail);
    if (stored.startsWith(QLatin1String("HTTP ")))
        return QStringLiteral("HTTP error %1").arg(detail);
    if (stored.startsWith(QLatin1String("transport ")))
        return transportInWords(detail.toInt());
    return stored;
}

void declareDomainsList(QCommandLineParser &parser)
{
    parser.addOptions(
            {{QStringLiteral("after"), QStringLiteral("start after this name (paging)"), QStringLiteral("NAME")},
             optionWithDefault("limit", QStringLiteral("at most N domains"), "N", QString::number(kDefaultLines)),
             {QStringLiteral("json"), QStringLiteral("one JSON object per line")}});
}

int domainsList(CommandCall &call)
{
    const qint64 lines =
            integerArgument(call.value("limit"), 1, 1'000'000, QStringLiteral("--limit wants a whole number from 1"));
    QString error;
    const auto list = domainStatuses(call.database(), call.value("after"), int(lines),
                                     QDateTime::currentDateTimeUtc().date(), &error);
    if (!list)
        fail(error);
    const bool asJson = call.isSet("json");
    if (!asJson)
        write(stdout, QStringLiteral("domain\tlast count\tlast checked\tnext\tstatus\n"));
    for (const DomainStatus &d : *list) {
        if (asJson) {
            const QJsonObject object = {
                    {QStringLiteral("domain"), d.name},
                    {QStringLiteral("last_count"), d.lastCount ? QJsonValue(double(*d.lastCount)) : QJsonValue()},
                    {QStringLiteral("last_checked"), d.lastChecked.isEmpty() ? QJsonValue() : d.lastChecked},
                    {QStringLiteral("next"), d.nextDue},
                    {QStringLiteral("status"), outcomeInWords(d.lastOutcome)},
                    {QStringLiteral("outcome"), d.lastOutcome},
            };
            write(stdout, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + u'\n');
            continue;
        }
        write(stdout,
              QStringLiteral("%1\t%2\t%3\t%4\t%5\n")
                      .arg(d.name, d.lastCount ? QString::number(*d.lastCount) : QStringLiteral("-"),
                           d.lastChecked.isEmpty() ? QStringLiteral("-") : d.lastChecked, d.nextDue,
                           printable(outcomeInWords(d.lastOutcome))));
    }
    if (list->size() == lines)
        write(stderr, QStringLiteral("more: --after %1\n").arg(list->last().name));
    return kExitOk;
}

int domainsAdd(CommandCall &call)
{
    const QString host = hostArgument(call.arguments.first());
    VendorStore store(call.database());
    succeeded(store.track(host, QStringLiteral("operator")), store);
    return kExitOk;
}

int historyAdd(CommandCall &call)
{
    const QStringList &args = call.arguments;
    const QString host = hostArgument(args[0]);
    const QDate day = QDate::fromString(args[1], QStringLiteral("yyyy-MM-dd"));
    if (!day.isValid())
        refuse(QStringLiteral("the date is YYYY-MM-DD, not %1").arg(printable(args[1])));
    const qint64 count = integerArgument(args[2], 0, std::numeric_limits<qint64>::max(),
                                         QStringLiteral("the count is a whole number from 0"));
    VendorStore store(call.database());
    succeeded(store.addHistory(host, day, count), store);
    return kExitOk;
}

} // namespace yz::server
