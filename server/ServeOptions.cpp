#include "server/ServeOptions.h"

#include "server/CommandSupport.h"

#include <QThread>
#include <QUrl>

#include <limits>

namespace yz::server {
namespace {

const QString kDefaultListen = QStringLiteral("127.0.0.1:8080");
// The operator's listener is off unless asked for, so that instances told
// apart by --listen and --db alone start side by side.
const QString kAdminListenExample = QStringLiteral("127.0.0.1:8081");

// One option of "serve" that sets one setting: a whole number in a range,
// or a flag. Its default is read from ServeSettings' own.
struct SettingRow {
    const char *name;
    const char *help;
    const char *valueName; // nullptr: a flag
    qint64 least, most;
    const char *mistake; // the usage message for a value out of range
    qint64 (*get)(const ServeSettings &);
    void (*set)(ServeSettings &, qint64);
};

constexpr qint64 kMs = 3'600'000; // the longest time limit, an hour
constexpr SettingRow kRows[] = {
        {"suggestions-per-hour", "suggestions accepted per client address and hour", "N", 1, 1'000'000,
         "--suggestions-per-hour wants a whole number from 1",
         [](const ServeSettings &s) { return qint64(s.service.suggestionsPerHour); },
         [](ServeSettings &s, qint64 v) { s.service.suggestionsPerHour = int(v); }},
        {"registrations-per-hour", "domains registered per client address and hour", "N", 1, 1'000'000,
         "--registrations-per-hour wants a whole number from 1",
         [](const ServeSettings &s) { return qint64(s.service.registrationsPerHour); },
         [](ServeSettings &s, qint64 v) { s.service.registrationsPerHour = int(v); }},
        {"behind-proxy", "take the client address from X-Forwarded-For (only behind your own proxy)", nullptr, 0, 1,
         nullptr, [](const ServeSettings &s) { return qint64(s.service.behindProxy); },
         [](ServeSettings &s, qint64 v) { s.service.behindProxy = v != 0; }},
        {"idle-timeout", "drop a client that starts no request for MS milliseconds", "MS", 100, kMs,
         "--idle-timeout, --head-timeout and --body-timeout want milliseconds from 100",
         [](const ServeSettings &s) { return qint64(s.limits.idleMs); },
         [](ServeSettings &s, qint64 v) { s.limits.idleMs = int(v); }},
        {"head-timeout", "a request's head must arrive whole within MS milliseconds", "MS", 100, kMs,
         "--idle-timeout, --head-timeout and --body-timeout want milliseconds from 100",
         [](const ServeSettings &s) { return qint64(s.limits.headTimeoutMs); },
         [](ServeSettings &s, qint64 v) { s.limits.headTimeoutMs = int(v); }},
        {"body-timeout", "a request's body must arrive whole within MS milliseconds", "MS", 100, kMs,
         "--idle-timeout, --head-timeout and --body-timeout want milliseconds from 100",
         [](const ServeSettings &s) { return qint64(s.limits.bodyTimeoutMs); },
         [](ServeSettings &s, qint64 v) { s.limits.bodyTimeoutMs = int(v); }},
        {"max-connections", "connections served at once", "N", 1, 100'000,
         "--max-connections wants a whole number from 1",
         [](const ServeSettings &s) { return qint64(s.limits.maxConnections); },
         [](ServeSettings &s, qint64 v) { s.limits.maxConnections = int(v); }},
        {"http-threads",
         "threads answering --listen, each with its own event loop and the port shared (0: one per core)", "N", 0, 256,
         "--http-threads wants a whole number from 0 to 256",
         [](const ServeSettings &s) { return qint64(s.httpThreads); },
         [](ServeSettings &s, qint64 v) { s.httpThreads = v > 0 ? int(v) : QThread::idealThreadCount(); }},
        {"track-cap", "domains tracked because their trend picture was asked for, at most", "N", 0,
         std::numeric_limits<qint64>::max(), "--track-cap wants a whole number",
         [](const ServeSettings &s) { return s.service.trackCap; },
         [](ServeSettings &s, qint64 v) { s.service.trackCap = v; }},
        {"no-collect", "do not collect indexed-page counts in this instance", nullptr, 0, 1, nullptr,
         [](const ServeSettings &s) { return qint64(!s.collect); },
         [](ServeSettings &s, qint64 v) { s.collect = v == 0; }},
};

QCommandLineOption optionOf(const SettingRow &row)
{
    const QString help = QString::fromLatin1(row.help);
    if (!row.valueName)
        return QCommandLineOption(QLatin1String(row.name), help);
    return optionWithDefault(row.name, help, row.valueName, QString::number(row.get(ServeSettings())));
}

} // namespace

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

ServeOptions::ServeOptions()
    : m_listen(optionWithDefault("listen", QStringLiteral("address and port"), "ADDR:PORT", kDefaultListen))
    , m_admin(QStringLiteral("admin-listen"),
              QStringLiteral("address and port of /healthz, /readyz and /metrics, for the operator only, e.g. %1 "
                             "(default: none)")
                      .arg(kAdminListenExample),
              QStringLiteral("ADDR:PORT"))
    , m_publicBase(QStringLiteral("public-base"),
                   QStringLiteral("the address clients reach the service at (default: http:// and the --listen "
                                  "address)"),
                   QStringLiteral("URL"))
    , m_downloads(QStringLiteral("downloads"),
                  QStringLiteral("directory whose newest yanzhou_*_amd64.deb is offered for download"),
                  QStringLiteral("DIR"))
{
    for (const SettingRow &row : kRows)
        m_rows.append(optionOf(row));
}

void ServeOptions::addTo(QCommandLineParser &parser) const
{
    parser.addOptions({m_listen, m_admin, m_publicBase, m_downloads});
    parser.addOptions(m_rows);
}

void ServeOptions::read(const QCommandLineParser &parser, ServeSettings *settings) const
{
    const std::optional<ListenAddress> where = parseListen(parser.value(m_listen));
    if (!where)
        refuse(QStringLiteral("--listen wants ADDRESS:PORT, e.g. %1, not %2")
                       .arg(kDefaultListen, parser.value(m_listen)));
    settings->listen = *where;
    if (parser.isSet(m_admin)) {
        settings->admin = parseListen(parser.value(m_admin));
        if (!settings->admin)
            refuse(QStringLiteral("--admin-listen wants ADDRESS:PORT, e.g. %1, not %2")
                           .arg(kAdminListenExample, parser.value(m_admin)));
    }
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        const SettingRow &row = kRows[i];
        if (!row.valueName) {
            row.set(*settings, parser.isSet(m_rows[i]) ? 1 : 0);
            continue;
        }
        qint64 value = 0;
        if (!parseInteger(parser.value(m_rows[i]), row.least, row.most, &value))
            refuse(QString::fromLatin1(row.mistake));
        row.set(*settings, value);
    }
    settings->service.downloadsDir = parser.value(m_downloads);
}

void ServeOptions::readPublicBase(const QCommandLineParser &parser, ServeSettings *settings) const
{
    settings->publicBaseGiven = parser.isSet(m_publicBase);
    ServiceConfig &config = settings->service;
    config.publicBase = settings->publicBaseGiven
            ? parser.value(m_publicBase)
            : QStringLiteral("http://%1:%2").arg(settings->listen.text).arg(settings->listen.port);
    const QUrl base(config.publicBase, QUrl::StrictMode);
    if (!base.isValid() || (base.scheme() != QLatin1String("http") && base.scheme() != QLatin1String("https"))
        || base.host().isEmpty())
        refuse(QStringLiteral("--public-base wants an http(s) address, not %1").arg(config.publicBase));
}

} // namespace yz::server
