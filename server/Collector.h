#pragma once

#include "net/PageAnswer.h"
#include "parsers/RulesFile.h"
#include "server/CollectQueue.h"
#include "server/RulesStore.h"
#include "services/ServiceHosts.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace yz {
class PageFetcher;
}

namespace yz::server {

class Database;

struct CollectorConfig {
    double ratePerSecond = 0.5; // requests to the search engine, at most
    qint64 dailyBudget = 20'000; // requests a day, all instances together
    int claimTimeoutS = 300; // a claim not completed in this long is free again
    int backoffS = 60; // first wait after a refusal; doubles up to maxBackoffS
    int maxBackoffS = 3600;
    int retryAfterS = 3600; // a failed fetch is tried again this much later
    int roundIntervalS = 600; // how often a serving instance looks for work
    ScrapeRules rules; // how the count row is asked and read: built in, or a rules file's
    bool rulesFromFile = false; // else the newest published rules replace the built-in ones
    BrokenRuleTest broken;
};

// Asks Baidu, once a day per tracked domain, for the domain's indexed-page
// count with the query table's Baidu count row and the count rules (a rules
// file's, else the newest published ones, else the window's), and stores the
// count or the kind of failure. Every answer's outcome is kept per rule; a
// rule that turns broken is logged once, and again when it reads again. Politeness: one request at a time, at most
// the configured rate, a daily budget, and a refusal page halves the rate and
// pauses the collector (longer after each refusal, up to a ceiling).
class Collector : public QObject {
    Q_OBJECT
public:
    Collector(Database &database, const ServiceHosts &hosts, CollectorConfig config, QString instance,
              QObject *parent = nullptr);
    ~Collector() override;

    // Rounds every roundIntervalS, the first at once.
    void start();
    // One round: every domain due today once (failures wait for a later round).
    void runRound();
    bool running() const { return m_inRound; }

    struct Totals {
        int counted = 0;
        int failed = 0;
    };
    Totals totals() const { return m_totals; }
    double currentRate() const { return m_rate; }

Q_SIGNALS:
    void roundFinished();

private:
    void next();
    void fetch(const QString &domain);
    void finish(const QString &domain, const PageAnswer &answer);
    void endRound();
    // Takes up rules published since the last look, unless a file gave them.
    void takeUpPublishedRules();
    void noteOutcome(const QString &address, const CollectOutcome &outcome);
    void noteFetch(const QString &domain, const CollectOutcome &outcome);

    Database &m_database;
    ServiceHosts m_hosts;
    CollectorConfig m_config;
    CollectQueue m_queue;
    PageFetcher *m_fetcher;
    QTimer m_rounds;
    QTimer m_pace;
    QElapsedTimer m_sinceStart;
    QString m_current;
    double m_rate;
    int m_backoffS;
    bool m_inRound = false;
    bool m_toldUnreachable = false; // this round's warning about the engine given
    Totals m_totals;
    ScrapeRules m_rules; // in force: the configured ones, or published ones over the built-in
    qint64 m_publishedVersion = 0;
    QDate m_budgetNotedOn; // the day the spent budget was last logged
    std::optional<bool> m_ruleBroken; // as last seen; unknown until the first answer
};

} // namespace yz::server
