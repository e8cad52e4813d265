#include "server/VendorStore.h"

#include "net/ProgramVersion.h"
#include "net/TextDecoding.h"
#include "server/Database.h"
#include "server/Transaction.h"
#include "services/VendorAnswers.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

#include <algorithm>

namespace yz::server {
namespace {

const QString kNewsSeparator = QString::fromUtf16(kNewsItemSeparator);
const QString kTitleSeparator = QString::fromUtf16(kNewsTitleSeparator);

// A stored "yyyy-MM-dd" day; read by hand, since a domain's picture reads
// thousands of them.
QDate storedDay(const QString &text)
{
    if (text.size() != 10 || text[4] != u'-' || text[7] != u'-')
        return QDate::fromString(text, Qt::ISODate);
    auto number = [&text](int from, int length) {
        int value = 0;
        for (int i = from; i < from + length; ++i)
            value = value * 10 + (text[i].unicode() - u'0');
        return value;
    };
    return QDate(number(0, 4), number(5, 2), number(8, 2));
}

} // namespace

QString newsItemProblem(const QString &title, const QString &address)
{
    for (const QString &separator : {kNewsSeparator, kTitleSeparator}) {
        if (title.contains(separator) || address.contains(separator))
            return QStringLiteral("a news item cannot contain \"%1\"").arg(separator);
    }
    if (title.isEmpty())
        return QStringLiteral("the title is empty");
    if (decodeGbk(encodeGbk(title)) != title)
        return QStringLiteral("the title holds characters GBK cannot encode");
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))
        || url.host().isEmpty())
        return QStringLiteral("the address is not an http or https address: %1").arg(address);
    if (decodeGbk(encodeGbk(address)) != address)
        return QStringLiteral("the address holds characters GBK cannot encode");
    return {};
}

VendorStore::VendorStore(Database &database)
    : m_database(database)
{
}

bool VendorStore::fail(const QSqlQuery &query)
{
    return fail(query.lastError().text());
}

bool VendorStore::fail(const QString &message)
{
    m_lastError = message.isEmpty() ? QStringLiteral("database error") : message;
    return false;
}

std::optional<int> VendorStore::version()
{
    QSqlQuery query(m_database.db());
    query.prepare(QStringLiteral("SELECT value FROM settings WHERE name = ?"));
    query.addBindValue(QStringLiteral("version"));
    if (!query.exec())
        return fail(query), std::nullopt;
    if (!query.next())
        return kProgramVersion;
    bool ok = false;
    const int value = query.value(0).toString().toInt(&ok);
    return ok ? value : kProgramVersion;
}

bool VendorStore::setVersion(int version)
{
    QSqlQuery query(m_database.db());
    query.prepare(QStringLiteral("INSERT INTO settings (name, value) VALUES (?, ?) "
                                 "ON CONFLICT (name) DO UPDATE SET value = excluded.value"));
    query.addBindValue(QStringLiteral("version"));
    query.addBindValue(QString::number(version));
    return query.exec() || fail(query);
}

std::optional<QList<NewsItem>> VendorStore::news()
{
    QSqlQuery query(m_database.db());
    if (!query.exec(QStringLiteral("SELECT id, title, address FROM news ORDER BY position, id")))
        return fail(query), std::nullopt;
    QList<NewsItem> items;
    while (query.next())
        items.append({query.value(0).toLongLong(), query.value(1).toString(), query.value(2).toString()});
    return items;
}

std::optional<qint64> VendorStore::addNews(const QString &title, const QString &address)
{
    const QString problem = newsItemProblem(title, address);
    if (!problem.isEmpty())
        return fail(problem), std::nullopt;
    QSqlQuery query(m_database.db());
    query.prepare(QStringLiteral("INSERT INTO news (position, title, address) "
                                 "SELECT COALESCE(MAX(position), 0) + 1, ?, ? FROM news RETURNING id"));
    query.addBindValue(title);
    query.addBindValue(address);
    if (!query.exec() || !query.next())
        return fail(query), std::nullopt;
    return query.value(0).toLongLong();
}

bool VendorStore::removeNews(qint64 id)
{
    m_lastError.clear();
    QSqlQuery query(m_database.db());
    query.prepare(QStringLiteral("DELETE FROM news WHERE id = ?"));
    query.addBindValue(id);
    if (!query.exec())
        return fail(query);
    return query.numRowsAffected() > 0;
}

bool VendorStore::moveNews(qint64 id, int position)
{
    m_lastError.clear();
    std::optional<QList<NewsItem>> items = news();
    if (!items)
        return false;
    const auto found = std::find_if(items->begin(), items->end(), [id](const NewsItem &i) { return i.id == id; });
    if (found == items->end())
        return false;
    const NewsItem moved = *found;
    items->erase(found);
    items->insert(std::clamp(position - 1, 0, int(items->size())), moved);
    QSqlDatabase &db = m_database.db();
    Transaction transaction(db);
    if (!transaction.began())
        return fail(db.lastError().text());
    QSqlQuery query(db);
    query.prepare(QStringLiteral("UPDATE news SET position = ? WHERE id = ?"));
    for (int i = 0; i < items->size(); ++i) {
        query.addBindValue(i + 1);
        query.addBindValue(items->at(i).id);
        if (!query.exec())
            return fail(query);
    }
    return transaction.commit() || fail(db.lastError().text());
}

bool VendorStore::addSuggestion(const QDateTime &receivedAt, const QString &client, const QString &body)
{
    QSqlQuery query(m_database.db());
    query.prepare(QStringLiteral("INSERT INTO suggestions (received_at, client, body) VALUES (?, ?, ?)"));
    query.addBindValue(storedTime(receivedAt));
    // PostgreSQL's text cannot hold NUL: stored as U+FFFD on both databases,
    // so a client's bytes never decide whether a suggestion can be stored.
    query.addBindValue(QString(client).replace(QChar(0), QChar::ReplacementCharacter));
    query.addBindValue(QString(body).replace(QChar(0), QChar::ReplacementCharacter));
    return query.exec() || fail(query);
}

std::optional<QList<Suggestion>> VendorStore::suggestions(const QDateTime &since)
{
    QSqlQuery query(m_database.db());
    query.prepare(QStringLiteral("SELECT id, received_at, client, body FROM suggestions "
                                 "WHERE received_at >= ? ORDER BY received_at, id"));
    query.addBindValue(since.isValid() ? storedTime(since) : QStringLiteral("0000"));
    if (!query.exec())
        return fail(query), std::nullopt;
    QList<Suggestion> list;
    while (query.next()) {
        list.append({query.value(0).toLongLong(), QDateTime::fromString(query.value(1).toString(), Qt::ISODateWithMs),
                     query.value(2).toString(), query.value(3).toString()});
    }
    return list;
}

QString trackingPriority(const QString &column)
{
    return QStringLiteral("CASE %1 WHEN 'operator' THEN 0 WHEN 'picture' THEN 1 ELSE 2 END").arg(column);
}

bool VendorStore::track(const QString &domain, const QString &source)
{
    // A domain keeps the best of the sources that asked for it.
    QSqlQuery query(m_database.db());
    query.prepare(QStringLiteral("INSERT INTO domains (name, tracked, added_at, source) VALUES (?, 1, ?, ?) "
                                 "ON CONFLICT (name) DO UPDATE SET tracked = 1, "
                                 "added_at = COALESCE(domains.added_at, excluded.added_at), "
                                 "source = CASE WHEN domains.source IS NULL OR %1 < %2 THEN excluded.source "
                                 "ELSE domains.source END")
                          .arg(trackingPriority(QStringLiteral("excluded.source")),
                               trackingPriority(QStringLiteral("domains.source"))));
    query.addBindValue(domain);
    query.addBindValue(storedTime(QDateTime::currentDateTimeUtc()));
    query.addBindValue(source);
    return query.exec() || fail(query);
}

std::optional<bool> VendorStore::trackAsked(const QString &domain)
{
    QSqlQuery query(m_database.db());
    query.prepare(QStringLiteral("INSERT INTO domains (name, tracked, added_at, source) VALUES (?, 1, ?, 'picture') "
                                 "ON CONFLICT (name) DO UPDATE SET tracked = 1, source = 'picture', "
                                 "added_at = CASE WHEN domains.tracked = 0 THEN excluded.added_at "
                                 "ELSE domains.added_at END "
                                 "WHERE domains.tracked = 0 OR domains.source = 'register' RETURNING name"));
    query.addBindValue(domain);
    query.addBindValue(storedTime(QDateTime::currentDateTimeUtc()));
    if (!query.exec())
        return fail(query), std::nullopt;
    return query.next();
}

std::optional<qint64> VendorStore::trackedCount(const QString &source)
{
    QSqlQuery query(m_database.db());
    query.prepare(QStringLiteral("SELECT COUNT(*) FROM domains WHERE tracked = 1 AND source = ?"));
    query.addBindValue(source);
    if (!query.exec() || !query.next())
        return fail(query), std::nullopt;
    return query.value(0).toLongLong();
}

std::optional<bool> VendorStore::isTracked(const QString &domain)
{
    QSqlQuery query(m_database.db());
    query.prepare(QStringLiteral("SELECT tracked FROM domains WHERE name = ?"));
    query.addBindValue(domain);
    if (!query.exec())
        return fail(query), std::nullopt;
    return query.next() && query.value(0).toInt() != 0;
}

bool VendorStore::addHistory(const QString &domain, QDate day, qint64 count)
{
    QSqlDatabase &db = m_database.db();
    Transaction transaction(db);
    if (!transaction.began())
        return fail(db.lastError().text());
    QSqlQuery query(db);
    query.prepare(QStringLiteral("INSERT INTO history (domain, day, count) VALUES (?, ?, ?) "
                                 "ON CONFLICT (domain, day) DO UPDATE SET count = excluded.count"));
    query.addBindValue(domain);
    query.addBindValue(day.toString(Qt::ISODate));
    query.addBindValue(count);
    bool ok = query.exec();
    if (ok) {
        query.prepare(QStringLiteral("INSERT INTO domains (name, history_rev) VALUES (?, 1) "
                                     "ON CONFLICT (name) DO UPDATE SET history_rev = domains.history_rev + 1"));
        query.addBindValue(domain);
        ok = query.exec();
    }
    if (!ok)
        return fail(query);
    return transaction.commit() || fail(db.lastError().text());
}

std::optional<QList<HistoryPoint>> VendorStore::history(const QString &domain)
{
    QSqlQuery query(m_database.db());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT day, count FROM history WHERE domain = ? ORDER BY day"));
    query.addBindValue(domain);
    if (!query.exec())
        return fail(query), std::nullopt;
    QList<HistoryPoint> points;
    while (query.next())
        points.append({storedDay(query.value(0).toString()), query.value(1).toLongLong()});
    return points;
}

std::optional<qint64> VendorStore::historyRevision(const QString &domain)
{
    QSqlQuery query(m_database.db());
    query.prepare(QStringLiteral("SELECT history_rev FROM domains WHERE name = ?"));
    query.addBindValue(domain);
    if (!query.exec())
        return fail(query), std::nullopt;
    return query.next() ? query.value(0).toLongLong() : 0;
}

std::optional<qint64> VendorStore::rankPosition(const QString &name)
{
    QSqlQuery query(m_database.db());
    query.prepare(QStringLiteral("SELECT MIN(position) FROM ranks WHERE name = ?"));
    query.addBindValue(name);
    if (!query.exec())
        return fail(query), std::nullopt;
    return query.next() ? query.value(0).toLongLong() : 0;
}

std::optional<qint64> VendorStore::rankCount()
{
    QSqlQuery query(m_database.db());
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM ranks")) || !query.next())
        return fail(query), std::nullopt;
    return query.value(0).toLongLong();
}

} // namespace yz::server
