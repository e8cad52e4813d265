#include "server/CollectQueue.h"

#include "server/Database.h"
#include "server/Transaction.h"
#include "server/VendorStore.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace yz::server {
namespace {

QString dayText(QDate day)
{
    return day.toString(Qt::ISODate);
}

// Candidates per look at the list: enough to skip those other instances took.
constexpr int kCandidates = 32;

} // namespace

QString CollectOutcome::text() const
{
    using Cause = CellStatus::Cause;
    if (counted())
        return QStringLiteral("ok");
    if (cause == Cause::Refused)
        return detail.isEmpty() ? QStringLiteral("频") : QStringLiteral("频 ") + detail;
    if (cause == Cause::Unrecognised)
        return detail.isEmpty() ? QStringLiteral("X") : QStringLiteral("X ") + detail;
    return detail;
}

CollectQueue::CollectQueue(Database &database, QString instance)
    : m_database(database)
    , m_instance(std::move(instance))
{
}

bool CollectQueue::fail(const QString &message)
{
    m_lastError = message.isEmpty() ? QStringLiteral("database error") : message;
    return false;
}

std::optional<QString> CollectQueue::claimNext(QDate day, const QDateTime &now, int claimTimeoutS)
{
    const QString expired = storedTime(now.addSecs(-claimTimeoutS));
    QSqlQuery candidates(m_database.db());
    candidates.prepare(QStringLiteral("SELECT d.name FROM domains d WHERE d.tracked = 1 AND NOT EXISTS ("
                                      "SELECT 1 FROM collect_claims c WHERE c.domain = d.name AND c.day = ? AND "
                                      "(c.done = 1 OR c.next_try > ? OR (c.claimed_by <> '' AND c.claimed_at >= ?))) "
                                      "ORDER BY %1, d.name LIMIT ?")
                               .arg(trackingPriority(QStringLiteral("d.source"))));
    candidates.addBindValue(dayText(day));
    candidates.addBindValue(storedTime(now));
    candidates.addBindValue(expired);
    candidates.addBindValue(kCandidates);
    if (!candidates.exec())
        return fail(candidates.lastError().text()), std::nullopt;
    QStringList names;
    while (candidates.next())
        names.append(candidates.value(0).toString());
    candidates.finish();

    QSqlQuery claim(m_database.db());
    claim.prepare(QStringLiteral(
            "INSERT INTO collect_claims (domain, day, claimed_by, claimed_at) VALUES (?, ?, ?, ?) "
            "ON CONFLICT (domain, day) DO UPDATE SET claimed_by = excluded.claimed_by, "
            "claimed_at = excluded.claimed_at WHERE collect_claims.done = 0 AND collect_claims.next_try <= ? "
            "AND (collect_claims.claimed_by = '' OR collect_claims.claimed_at < ?) RETURNING domain"));
    for (const QString &name : names) {
        claim.addBindValue(name);
        claim.addBindValue(dayText(day));
        claim.addBindValue(m_instance);
        claim.addBindValue(storedTime(now));
        claim.addBindValue(storedTime(now));
        claim.addBindValue(expired);
        if (!claim.exec())
            return fail(claim.lastError().text()), std::nullopt;
        const bool mine = claim.next();
        claim.finish();
        if (mine)
            return name;
    }
    return QString();
}

bool CollectQueue::complete(const QString &domain, QDate day, const CollectOutcome &outcome, const QDateTime &now,
                            const QDateTime &retryAt)
{
    QSqlDatabase &db = m_database.db();
    Transaction transaction(db);
    if (!transaction.began())
        return fail(db.lastError().text());
    const bool counted = outcome.counted();
    QSqlQuery query(db);
    // A count ends the day's work; a failure is retried in a later round,
    // up to a few times a day.
    query.prepare(QStringLiteral(
            "UPDATE collect_claims SET attempts = attempts + 1, outcome = ?, count = ?, claimed_by = '', "
            "next_try = ?, done = CASE WHEN ? = 1 OR attempts + 1 >= ? THEN 1 ELSE 0 END "
            "WHERE domain = ? AND day = ? AND claimed_by = ? AND done = 0"));
    query.addBindValue(outcome.text());
    query.addBindValue(counted ? QVariant(outcome.count) : QVariant(QMetaType(QMetaType::LongLong)));
    query.addBindValue(storedTime(retryAt));
    query.addBindValue(counted ? 1 : 0);
    query.addBindValue(kAttemptsPerDay);
    query.addBindValue(domain);
    query.addBindValue(dayText(day));
    query.addBindValue(m_instance);
    bool ok = query.exec();
    if (ok && query.numRowsAffected() != 1) {
        m_lastError.clear();
        return false;
    }
    if (ok && counted) {
        query.prepare(QStringLiteral("INSERT INTO history (domain, day, count) VALUES (?, ?, ?) "
                                     "ON CONFLICT (domain, day) DO UPDATE SET count = excluded.count"));
        query.addBindValue(domain);
        query.addBindValue(dayText(day));
        query.addBindValue(outcome.count);
        ok = query.exec();
    }
    if (ok) {
        query.prepare(QStringLiteral(
                "UPDATE domains SET history_rev = history_rev + ?, last_count = COALESCE(?, last_count), "
                "last_outcome = ?, last_checked = ? WHERE name = ?"));
        query.addBindValue(counted ? 1 : 0);
        query.addBindValue(counted ? QVariant(outcome.count) : QVariant(QMetaType(QMetaType::LongLong)));
        query.addBindValue(outcome.text());
        query.addBindValue(storedTime(now));
        query.addBindValue(domain);
        ok = query.exec();
    }
    if (!ok)
        return fail(query.lastError().text());
    return transaction.commit() || fail(db.lastError().text());
}

std::optional<qint64> CollectQueue::requestsOn(QDate day)
{
    QSqlQuery query(m_database.db());
    query.prepare(QStringLiteral("SELECT COALESCE(SUM(attempts), 0) FROM collect_claims WHERE day = ?"));
    query.addBindValue(dayText(day));
    if (!query.exec() || !query.next())
        return fail(query.lastError().text()), std::nullopt;
    return query.value(0).toLongLong();
}

namespace {

// The tracked domains a statement selects, with today's claim beside each:
// its first bound value is today.
std::optional<QList<DomainStatus>> readStatuses(QSqlQuery &query, QDate today, QString *error)
{
    if (!query.exec()) {
        *error = query.lastError().text();
        return std::nullopt;
    }
    QList<DomainStatus> list;
    while (query.next()) {
        DomainStatus status;
        status.name = query.value(0).toString();
        if (!query.value(1).isNull())
            status.lastCount = query.value(1).toLongLong();
        status.lastOutcome = query.value(2).toString();
        status.lastChecked = query.value(3).toString();
        const bool doneToday = query.value(4).toInt() == 1;
        const QString retry = query.value(5).toString();
        status.nextDue = doneToday ? dayText(today.addDays(1)) : retry.isEmpty() ? QStringLiteral("now") : retry;
        list.append(status);
    }
    return list;
}

const QString kStatusColumns =
        QStringLiteral("SELECT d.name, d.last_count, d.last_outcome, d.last_checked, c.done, c.next_try "
                       "FROM domains d LEFT JOIN collect_claims c ON c.domain = d.name AND c.day = ? "
                       "WHERE d.tracked = 1 ");

} // namespace

std::optional<QList<DomainStatus>> domainStatuses(Database &database, const QString &after, int limit, QDate today,
                                                  QString *error)
{
    QSqlQuery query(database.db());
    query.prepare(kStatusColumns + QStringLiteral("AND (? = 0 OR d.name > ?) ORDER BY d.name LIMIT ?"));
    query.addBindValue(dayText(today));
    // An empty text may be bound as NULL, which compares with nothing.
    query.addBindValue(after.isEmpty() ? 0 : 1);
    query.addBindValue(after.isEmpty() ? QStringLiteral("-") : after);
    query.addBindValue(limit);
    return readStatuses(query, today, error);
}

std::optional<std::optional<DomainStatus>> domainStatus(Database &database, const QString &name, QDate today,
                                                        QString *error)
{
    QSqlQuery query(database.db());
    query.prepare(kStatusColumns + QStringLiteral("AND d.name = ?"));
    query.addBindValue(dayText(today));
    query.addBindValue(name);
    const std::optional<QList<DomainStatus>> found = readStatuses(query, today, error);
    if (!found)
        return std::nullopt;
    return found->isEmpty() ? std::optional<DomainStatus>() : found->first();
}

} // namespace yz::server
