#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

class QSqlQuery;

namespace yz::server {

class Database;

struct NewsItem {
    qint64 id = 0;
    QString title;
    QString address;
};

struct Suggestion {
    qint64 id = 0;
    QDateTime receivedAt; // UTC
    QString client;
    QString body;
};

struct HistoryPoint {
    QDate day;
    qint64 count = 0;
};

// Why a news item cannot be stored, or the empty text: the window splits the
// news answer on "{L|G}" and "[L|G]" and decodes it as GBK, and only web
// addresses are opened.
QString newsItemProblem(const QString &title, const QString &address);

// An SQL expression that orders tracked domains by where they came from:
// the operator's first, then those the window asks about, then anonymous
// registrations, so that strangers never take the collector's budget from
// them. `column` holds the source.
QString trackingPriority(const QString &column);

// Everything the service stores, as bound statements that run on SQLite and
// PostgreSQL alike. A result without a value means the database failed
// (lastError() says how); callers answer 503 then.
class VendorStore {
public:
    explicit VendorStore(Database &database);

    QString lastError() const { return m_lastError; }
    Database &database() { return m_database; }

    // The version number the update check answers: the stored one, or the
    // program's own until one is set.
    std::optional<int> version();
    bool setVersion(int version);

    std::optional<QList<NewsItem>> news();
    std::optional<qint64> addNews(const QString &title, const QString &address);
    // False with lastError() empty when no item has that id.
    bool removeNews(qint64 id);
    // Moves an item to position `position` (1 = first; past the end = last).
    bool moveNews(qint64 id, int position);

    bool addSuggestion(const QDateTime &receivedAt, const QString &client, const QString &body);
    std::optional<QList<Suggestion>> suggestions(const QDateTime &since);

    // Marks a domain for trend tracking; `source` says who asked ("register",
    // "operator", "picture").
    bool track(const QString &domain, const QString &source);
    // Tracks a domain whose trend picture was asked for, unless it is tracked
    // already: true when it became tracked now.
    std::optional<bool> trackAsked(const QString &domain);
    std::optional<qint64> trackedCount(const QString &source);
    std::optional<bool> isTracked(const QString &domain);
    // Stores one day's indexed-page count, replacing an earlier one for that day.
    bool addHistory(const QString &domain, QDate day, qint64 count);
    std::optional<QList<HistoryPoint>> history(const QString &domain);
    // Grows with every change of a domain's history: what a cached picture
    // of the domain was drawn from.
    std::optional<qint64> historyRevision(const QString &domain);

    // The position of a name in the imported ranks table, 0 when absent.
    std::optional<qint64> rankPosition(const QString &name);
    std::optional<qint64> rankCount();

private:
    bool fail(const QSqlQuery &query);
    bool fail(const QString &message);

    Database &m_database;
    QString m_lastError;
};

} // namespace yz::server
