#include "app/WindowRules.h"

#include "parsers/ResultHandlers.h"
#include "services/HandlerNames.h"
#include "services/VendorPaths.h"

WindowRules::WindowRules(yz::QueryEngine &engine, yz::StatisticsLine &statistics, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_statistics(statistics)
{
    m_engine.handlers().add(QString::fromUtf16(yz::handler::kPublishedRules),
                            yz::AnswerHandler([this](const yz::PageAnswer &answer) { take(answer); }));
}

void WindowRules::load()
{
    if (m_installed)
        return;
    // The trusted keys are read once, for the whole session.
    m_installed.emplace(yz::trustedRulesKeys(m_engine.hosts().rulesKey()));
    use(*m_installed);
}

void WindowRules::use(const yz::InstalledRules &installed)
{
    yz::ScrapeRules rules;
    QString source, error;
    if (!yz::loadRulesInForce(QString(), installed, rules, &source, &error))
        return;
    const std::optional<yz::PublishedRules> published = installed.current();
    m_version = published ? published->version : 0;
    m_rules = rules;
    // Only rows a published file names have a template: the others keep the
    // table's address exactly.
    yz::useRules(m_engine, m_rules);
    m_statistics.setRules(m_rules.statistics);
}

void WindowRules::askForNewer()
{
    load();
    if (!m_installed->canVerify())
        return; // nothing could be verified
    const QString url = m_engine.hosts().base(yz::Service::Vendor) + QString::fromUtf16(yz::vendor::kPublishedRules)
            + QString::number(m_version);
    m_engine.fetcher().urlfetch(url, QStringLiteral("get"), QString(), QStringLiteral("utf-8"),
                                QString::fromUtf16(yz::handler::kPublishedRules));
}

void WindowRules::take(const yz::PageAnswer &answer)
{
    if (!answer.read())
        return; // 304 (nothing newer), 404 (nothing published) or no answer: the rules in use go on
    load();
    QString message;
    if (m_installed->install(answer.body, &message))
        use(*m_installed);
}
