#pragma once

#include "parsers/PublishedRules.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace yz::server {

class Database;

// How one answer read with a rule ended, as the collector saw it.
struct RuleOutcome {
    QString rule; // "baidu/bd1": service and row
    QDateTime at;
    QString outcome; // "read", "none", "refused", "unrecognised", "failed"
    QString value;
    QString address;
};

// What `rules health` shows of one rule over a period.
struct RuleHealth {
    QString rule;
    qint64 answers = 0;
    qint64 unrecognised = 0;
    qint64 refused = 0;
    QString lastValue; // the last value read, and when
    QDateTime lastRead;
    bool broken = false;
    QString example; // an address that read as unrecognised
};

// When a rule counts as broken: it read values once, at least `share` of its
// last `window` answers were unrecognised, and it has read nothing since the
// last of them.
struct BrokenRuleTest {
    int window = 20;
    double share = 0.5;
};

// The published rules and the rules' outcomes, as bound statements on SQLite
// and PostgreSQL alike. A result without a value means the database failed.
class RulesStore {
public:
    explicit RulesStore(Database &database);

    QString lastError() const { return m_lastError; }

    // The next version number to publish: one past the newest.
    std::optional<qint64> nextVersion();
    // Stores signed rules; refuses a version that exists already.
    bool publish(const PublishedRules &rules);
    // The newest, or the given version; an empty form when there is none.
    std::optional<QByteArray> served(std::optional<qint64> version = std::nullopt);
    std::optional<QList<PublishedRules>> list();

    bool record(const RuleOutcome &outcome);
    // Forgets the outcomes from before `before`: a few weeks tell all there is.
    bool prune(const QDateTime &before);
    // Whether the rule is broken now, by its latest answers.
    std::optional<bool> isBroken(const QString &rule, const BrokenRuleTest &test);
    // Every rule with answers since `since`, broken ones first.
    std::optional<QList<RuleHealth>> health(const QDateTime &since, const BrokenRuleTest &test);

private:
    bool fail(const QString &message);

    Database &m_database;
    QString m_lastError;
};

} // namespace yz::server
