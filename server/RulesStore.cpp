#include "server/RulesStore.h"

#include "server/Database.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

namespace yz::server {
namespace {

QString isoTime(const QDateTime &t)
{
    return t.toUTC().toString(Qt::ISODate);
}

} // namespace

RulesStore::RulesStore(Database &database)
    : m_database(database)
{
}

bool RulesStore::fail(const QString &message)
{
    m_lastError = message;
    return false;
}

std::optional<qint64> RulesStore::nextVersion()
{
    QSqlQuery query(m_database.db());
    if (!query.exec(QStringLiteral("SELECT COALESCE(MAX(version), 0) + 1 FROM published_rules")) || !query.next())
        return fail(query.lastError().text()), std::nullopt;
    return query.value(0).toLongLong();
}

bool RulesStore::publish(const PublishedRules &rules)
{
    QSqlQuery query(m_database.db());
    query.prepare(QStringLiteral("INSERT INTO published_rules (version, published_at, served) VALUES (?, ?, ?)"));
    query.addBindValue(rules.version);
    query.addBindValue(isoTime(rules.published));
    query.addBindValue(QString::fromUtf8(rules.encoded()));
    return query.exec() || fail(query.lastError().text());
}

std::optional<QByteArray> RulesStore::served(std::optional<qint64> version)
{
    QSqlQuery query(m_database.db());
    if (version) {
        query.prepare(QStringLiteral("SELECT served FROM published_rules WHERE version = ?"));
        query.addBindValue(*version);
    } else {
        query.prepare(QStringLiteral("SELECT served FROM published_rules ORDER BY version DESC LIMIT 1"));
    }
    if (!query.exec())
        return fail(query.lastError().text()), std::nullopt;
    return query.next() ? query.value(0).toString().toUtf8() : QByteArray();
}

std::optional<QList<PublishedRules>> RulesStore::list()
{
    QSqlQuery query(m_database.db());
    if (!query.exec(QStringLiteral("SELECT served FROM published_rules ORDER BY version")))
        return fail(query.lastError().text()), std::nullopt;
    QList<PublishedRules> all;
    QString why;
    while (query.next())
        if (const auto rules = decodePublishedRules(query.value(0).toString().toUtf8(), &why))
            all.append(*rules);
    return all;
}

bool RulesStore::record(const RuleOutcome &o)
{
    QSqlQuery query(m_database.db());
    query.prepare(
            QStringLiteral("INSERT INTO rule_outcomes (rule, at, outcome, value, address) VALUES (?, ?, ?, ?, ?)"));
    query.addBindValue(o.rule);
    query.addBindValue(isoTime(o.at));
    query.addBindValue(o.outcome);
    query.addBindValue(o.value);
    query.addBindValue(o.address);
    return query.exec() || fail(query.lastError().text());
}

bool RulesStore::prune(const QDateTime &before)
{
    QSqlQuery query(m_database.db());
    query.prepare(QStringLiteral("DELETE FROM rule_outcomes WHERE at < ?"));
    query.addBindValue(isoTime(before));
    return query.exec() || fail(query.lastError().text());
}

std::optional<bool> RulesStore::isBroken(const QString &rule, const BrokenRuleTest &test)
{
    // A rule that never read a value has nothing to be broken from.
    QSqlQuery everRead(m_database.db());
    everRead.prepare(QStringLiteral("SELECT 1 FROM rule_outcomes WHERE rule = ? AND outcome = 'read' LIMIT 1"));
    everRead.addBindValue(rule);
    if (!everRead.exec())
        return fail(everRead.lastError().text()), std::nullopt;
    if (!everRead.next())
        return false;
    QSqlQuery latest(m_database.db());
    latest.prepare(QStringLiteral("SELECT outcome FROM rule_outcomes WHERE rule = ? ORDER BY id DESC LIMIT ?"));
    latest.addBindValue(rule);
    latest.addBindValue(test.window);
    if (!latest.exec())
        return fail(latest.lastError().text()), std::nullopt;
    // Newest first. Refusals and failures say nothing about the rule; a
    // value read since the last unrecognised page means it works again.
    int unrecognised = 0;
    bool readSince = false;
    bool seenPage = false;
    while (latest.next()) {
        const QString outcome = latest.value(0).toString();
        if (outcome == u"unrecognised") {
            ++unrecognised;
            seenPage = true;
        } else if (outcome == u"read" || outcome == u"none") {
            readSince = readSince || !seenPage;
            seenPage = true;
        }
    }
    return !readSince && unrecognised > 0 && unrecognised >= test.share * test.window;
}

std::optional<QList<RuleHealth>> RulesStore::health(const QDateTime &since, const BrokenRuleTest &test)
{
    QSqlQuery query(m_database.db());
    query.prepare(QStringLiteral("SELECT rule, COUNT(*), "
                                 "SUM(CASE WHEN outcome = 'unrecognised' THEN 1 ELSE 0 END), "
                                 "SUM(CASE WHEN outcome = 'refused' THEN 1 ELSE 0 END) "
                                 "FROM rule_outcomes WHERE at >= ? GROUP BY rule ORDER BY rule"));
    query.addBindValue(isoTime(since));
    if (!query.exec())
        return fail(query.lastError().text()), std::nullopt;
    QList<RuleHealth> all;
    while (query.next()) {
        RuleHealth h;
        h.rule = query.value(0).toString();
        h.answers = query.value(1).toLongLong();
        h.unrecognised = query.value(2).toLongLong();
        h.refused = query.value(3).toLongLong();
        all.append(h);
    }
    for (RuleHealth &h : all) {
        QSqlQuery last(m_database.db());
        last.prepare(QStringLiteral("SELECT value, at FROM rule_outcomes WHERE rule = ? AND outcome = 'read' "
                                    "ORDER BY id DESC LIMIT 1"));
        last.addBindValue(h.rule);
        QSqlQuery example(m_database.db());
        example.prepare(QStringLiteral("SELECT address FROM rule_outcomes WHERE rule = ? "
                                       "AND outcome = 'unrecognised' ORDER BY id DESC LIMIT 1"));
        example.addBindValue(h.rule);
        const std::optional<bool> broken = isBroken(h.rule, test);
        if (!last.exec() || !example.exec() || !broken)
            return fail(m_lastError.isEmpty() ? last.lastError().text() : m_lastError), std::nullopt;
        if (last.next()) {
            h.lastValue = last.value(0).toString();
            h.lastRead = QDateTime::fromString(last.value(1).toString(), Qt::ISODate);
        }
        if (example.next())
            h.example = example.value(0).toString();
        h.broken = *broken;
    }
    std::stable_sort(all.begin(), all.end(),
                     [](const RuleHealth &a, const RuleHealth &b) { return a.broken > b.broken; });
    return all;
}

} // namespace yz::server
