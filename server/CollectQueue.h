#pragma once

#include "query/CellStatus.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

namespace yz::server {

class Database;

// How one day's fetch of a domain ended, in the engine's words for how an
// answer ended: Ok (a count), None (a count of 0), Refused, Unrecognised or
// Failed. Unlike a grid cell, an answer of 429, 403 or 503 is Refused here:
// the collector must slow down for it as for a refusal page.
struct CollectOutcome {
    CellStatus::Cause cause = CellStatus::Cause::Failed;
    qint64 count = 0; // when counted
    QString detail; // Failed: "HTTP 404" or "transport 12029"; Unrecognised: what more is known

    bool counted() const { return cause == CellStatus::Cause::Ok || cause == CellStatus::Cause::None; }

    // The text stored and shown: "ok", "频", "X" (each with its detail when
    // there is one), or the failure's detail.
    QString text() const;
};

// The work list of the collector, shared through the database by every
// instance: one claim per domain and day. A claim is taken with one atomic
// statement (insert, or take over a free or expired claim), so two instances
// never hold the same domain-day; a killed instance's claims become free
// again when they expire.
class CollectQueue {
public:
    CollectQueue(Database &database, QString instance);

    QString lastError() const { return m_lastError; }

    // Claims the next domain due on `day`, or returns the empty text when
    // none is (std::nullopt when the database failed).
    std::optional<QString> claimNext(QDate day, const QDateTime &now, int claimTimeoutS);
    // Records the result of a claimed fetch: a count goes into the history.
    // False when the claim was no longer this instance's (it expired and
    // another took it): nothing is stored then.
    bool complete(const QString &domain, QDate day, const CollectOutcome &outcome, const QDateTime &now,
                  const QDateTime &retryAt);
    // Requests made for `day` by all instances.
    std::optional<qint64> requestsOn(QDate day);

    static constexpr int kAttemptsPerDay = 3;

private:
    bool fail(const QString &message);

    Database &m_database;
    QString m_instance;
    QString m_lastError;
};

// One line of "domains list".
struct DomainStatus {
    QString name;
    std::optional<qint64> lastCount;
    QString lastOutcome;
    QString lastChecked;
    QString nextDue;
};

// The tracked domains after `after` in name order, at most `limit`.
std::optional<QList<DomainStatus>> domainStatuses(Database &database, const QString &after, int limit, QDate today,
                                                  QString *error);
// One domain's status: nothing inside when it is not tracked; nothing at
// all when the database failed.
std::optional<std::optional<DomainStatus>> domainStatus(Database &database, const QString &name, QDate today,
                                                        QString *error);

} // namespace yz::server
