#include "server/Collector.h"

#include "net/PageFetcher.h"
#include "parsers/CountParsers.h"
#include "query/QueryTable.h"
#include "server/Database.h"
#include "server/Log.h"
#include "server/Metrics.h"

#include <QUrl>

namespace yz::server {
namespace {

// The one request the collector makes is the window's own Baidu count row.
const QString kHandler = QString::fromUtf16(kBaiduCountRow);

const QueryRow &countRow()
{
    const QueryRow *row = findQueryRow(kHandler);
    Q_ASSERT(row);
    return *row;
}

// How the rules' health names an outcome.
QString ruleOutcomeName(CellStatus::Cause cause)
{
    switch (cause) {
    case CellStatus::Cause::Ok:
        return QStringLiteral("read");
    case CellStatus::Cause::None:
        return QStringLiteral("none");
    case CellStatus::Cause::Refused:
        return QStringLiteral("refused");
    case CellStatus::Cause::Unrecognised:
        return QStringLiteral("unrecognised");
    default:
        return QStringLiteral("failed");
    }
}

// What a delivered answer means for the history.
CollectOutcome classify(const CountRules &counts, const PageAnswer &answer)
{
    CollectOutcome outcome;
    const Scraped scraped = answer.read() ? counts.scrape(Engine::Baidu, answer.text) : Scraped();
    // "Too many requests", "forbidden" and "unavailable" are how a search
    // engine turns a client away, like its refusal page.
    const int http = answer.httpStatus();
    if ((answer.read() && scraped.cause == CellStatus::Cause::Refused) || http == 429 || http == 403 || http == 503) {
        outcome.cause = CellStatus::Cause::Refused;
        if (!answer.read())
            outcome.detail = QStringLiteral("HTTP %1").arg(http);
    } else if (!answer.read() && http != 0) {
        outcome.detail = QStringLiteral("HTTP %1").arg(http);
    } else if (!answer.read()) {
        // No answer at all: the engine could not be reached, which says
        // nothing of the domain.
        outcome.detail = QStringLiteral("not asked: Baidu unreachable (%1, transport %2)")
                                 .arg(answer.asked.host())
                                 .arg(answer.status);
    } else if (scraped.cause == CellStatus::Cause::Unrecognised) {
        outcome.cause = CellStatus::Cause::Unrecognised;
        outcome.detail = scraped.reason;
    } else {
        bool ok = false;
        outcome.count = scraped.value.toLongLong(&ok);
        outcome.cause = !ok          ? CellStatus::Cause::Unrecognised
                : outcome.count == 0 ? CellStatus::Cause::None
                                     : CellStatus::Cause::Ok;
    }
    return outcome;
}

QDate today()
{
    return QDateTime::currentDateTimeUtc().date();
}

} // namespace

Collector::Collector(Database &database, const ServiceHosts &hosts, CollectorConfig config, QString instance,
                     QObject *parent)
    : QObject(parent)
    , m_database(database)
    , m_hosts(hosts)
    , m_config(config)
    , m_queue(database, std::move(instance))
    , m_fetcher(new PageFetcher(this))
    , m_rate(config.ratePerSecond)
    , m_backoffS(config.backoffS)
    , m_rules(config.rules)
{
    m_hosts.setRulesBases(m_rules.bases); // the rules in force may move the engine
    m_fetcher->handlers().add(kHandler, AnswerHandler([this](const PageAnswer &answer) { finish(m_current, answer); }));
    m_rounds.setInterval(std::chrono::seconds(m_config.roundIntervalS));
    connect(&m_rounds, &QTimer::timeout, this, [this] {
        if (!m_inRound)
            runRound();
    });
    m_pace.setSingleShot(true);
    connect(&m_pace, &QTimer::timeout, this, &Collector::next);
}

Collector::~Collector() = default;

void Collector::start()
{
    m_rounds.start();
    runRound();
}

void Collector::runRound()
{
    m_inRound = true;
    m_toldUnreachable = false;
    m_totals = {};
    next();
}

void Collector::next()
{
    const std::optional<qint64> spent = m_queue.requestsOn(today());
    const std::optional<QString> domain = spent && *spent < m_config.dailyBudget
            ? m_queue.claimNext(today(), QDateTime::currentDateTimeUtc(), m_config.claimTimeoutS)
            : QString();
    if (spent)
        metrics().setBudgetLeft(std::max<qint64>(0, m_config.dailyBudget - *spent));
    if (!spent || !domain) {
        // The connection may be gone (the database restarted): opened again
        // for the next round, whichever statement noticed.
        qCWarning(lcCollector, "collector: the database failed, trying again next round: %s",
                  qPrintable(m_queue.lastError()));
        if (m_database.reconnect())
            qCInfo(lcCollector, "collector: connected to the database again");
    } else if (*spent >= m_config.dailyBudget && m_budgetNotedOn != today()) {
        m_budgetNotedOn = today();
        qCInfo(lcCollector, "collector: today's budget of %lld requests is spent; going on tomorrow (UTC)",
               m_config.dailyBudget);
    }
    if (!domain || domain->isEmpty()) {
        endRound();
        return;
    }
    fetch(*domain);
}

void Collector::takeUpPublishedRules()
{
    if (m_config.rulesFromFile)
        return;
    RulesStore store(m_database);
    const std::optional<QByteArray> served = store.served();
    QString why;
    const std::optional<PublishedRules> rules =
            served && !served->isEmpty() ? decodePublishedRules(*served, &why) : std::nullopt;
    if (!rules || rules->version == m_publishedVersion)
        return;
    ScrapeRules taken = ScrapeRules::builtIn();
    if (!applyRules(rules->content, taken, &why)) {
        qCWarning(lcCollector, "collector: published rules %lld refused: %s", rules->version, qPrintable(why));
        return;
    }
    m_rules = taken;
    m_hosts.setRulesBases(m_rules.bases);
    m_publishedVersion = rules->version;
    qCInfo(lcCollector, "collector: reading with published rules %lld", rules->version);
}

void Collector::noteOutcome(const QString &address, const CollectOutcome &outcome)
{
    static const QString rule = ServiceHosts::serviceName(countRow().service) + u'/' + kHandler;
    RulesStore store(m_database);
    const QString name = ruleOutcomeName(outcome.cause);
    const QString value = outcome.counted() ? QString::number(outcome.count) : outcome.text();
    // The state before this answer, as another run of the collector may have left it.
    if (!m_ruleBroken)
        m_ruleBroken = store.isBroken(rule, m_config.broken);
    const std::optional<bool> broken =
            m_ruleBroken && store.record({rule, QDateTime::currentDateTimeUtc(), name, value, address})
            ? store.isBroken(rule, m_config.broken)
            : std::nullopt;
    if (!broken) {
        qCWarning(lcCollector, "collector: %s", qPrintable(store.lastError()));
        m_ruleBroken.reset();
        return;
    }
    if (*broken && !*m_ruleBroken)
        qCWarning(lcCollector, "collector: rule %s is broken: most of its last %d answers were unrecognised, e.g. %s",
                  qPrintable(rule), m_config.broken.window, qPrintable(address));
    else if (!*broken && *m_ruleBroken)
        qCInfo(lcCollector, "collector: rule %s reads values again", qPrintable(rule));
    m_ruleBroken = broken;
}

void Collector::fetch(const QString &domain)
{
    m_current = domain;
    m_sinceStart.start();
    takeUpPublishedRules();
    const QueryRow &row = countRow();
    const QString pattern = m_rules.addresses.value(kHandler);
    const QString address = pattern.isEmpty() ? queryAddress(row, m_hosts, domain)
                                              : fillAddressTemplate(pattern, m_hosts.base(row.service), domain);
    m_fetcher->urlfetch(address, QStringLiteral("get"), QString(),
                        rowCharsetLabel(row, m_rules.charsets[size_t(row.service)]), kHandler);
}

void Collector::finish(const QString &domain, const PageAnswer &answer)
{
    const CollectOutcome outcome = classify(m_rules.counts, answer);
    noteFetch(domain, outcome);
    if (!answer.read() && answer.httpStatus() == 0 && !std::exchange(m_toldUnreachable, true))
        qCWarning(lcCollector, "collector: cannot reach %s (transport %d); its domains are not asked this time",
                  qPrintable(answer.asked.host()), answer.status);
    noteOutcome(answer.asked.toString(QUrl::FullyEncoded), outcome);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (!m_queue.complete(domain, today(), outcome, now, now.addSecs(m_config.retryAfterS))
        && !m_queue.lastError().isEmpty())
        qCWarning(lcCollector, "collector: %s", qPrintable(m_queue.lastError()));
    if (outcome.counted())
        ++m_totals.counted;
    else
        ++m_totals.failed;

    qint64 waitMs = qint64(1000.0 / m_rate) - m_sinceStart.elapsed();
    if (outcome.cause == CellStatus::Cause::Refused) {
        // The search engine noticed us: slow down and pause, longer each time.
        m_rate = std::max(m_config.ratePerSecond / 64, m_rate / 2);
        waitMs = std::max<qint64>(waitMs, qint64(m_backoffS) * 1000);
        qCWarning(lcCollector,
                  "collector: the search engine refused us (%s); %.3g requests a second from now, "
                  "pausing %lld s",
                  qPrintable(domain), m_rate, waitMs / 1000);
        m_backoffS = std::min(m_config.maxBackoffS, m_backoffS * 2);
    } else if (outcome.counted()) {
        m_rate = std::min(m_config.ratePerSecond, m_rate * 1.25);
        m_backoffS = m_config.backoffS;
    }
    m_pace.start(int(std::clamp<qint64>(waitMs, 0, 24 * 3600 * 1000LL)));
}

void Collector::noteFetch(const QString &domain, const CollectOutcome &outcome)
{
    metrics().countOutcome(outcome.cause);
    const QString what = outcome.counted() ? QStringLiteral("counted %1").arg(outcome.count) : outcome.text();
    qCInfo(lcCollector, "collector: %s %s (%lld ms)", qPrintable(domain), qPrintable(what), m_sinceStart.elapsed());
}

void Collector::endRound()
{
    // The rules' outcomes are kept for a month: enough for rules health and
    // the broken mark, without growing by the daily budget for ever.
    constexpr int kOutcomeDays = 31;
    RulesStore store(m_database);
    if (!store.prune(QDateTime::currentDateTimeUtc().addDays(-kOutcomeDays)))
        qCWarning(lcCollector, "collector: %s", qPrintable(store.lastError()));
    if (m_totals.counted + m_totals.failed > 0)
        qCInfo(lcCollector, "collector: round done, %d counted, %d failed", m_totals.counted, m_totals.failed);
    m_inRound = false;
    Q_EMIT roundFinished();
}

} // namespace yz::server
