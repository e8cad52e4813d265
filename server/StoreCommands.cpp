#include "server/StoreCommands.h"

#include "net/PrintableText.h"
#include "server/Commands.h"
#include "server/RanksImport.h"
#include "server/VendorStore.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>

#include <limits>

namespace yz::server {
namespace {

constexpr qint64 kDefaultTop = 10'000'000;

// "2026-12-07" (midnight UTC) or a full ISO 8601 time.
QDateTime parseSince(const QString &text)
{
    const QDate day = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (day.isValid())
        return QDateTime(day, QTime(0, 0), Qt::UTC);
    return QDateTime::fromString(text, Qt::ISODate);
}

// A news item's ID from the command line.
bool parseNewsId(const QString &text, qint64 *id)
{
    return parseInteger(text, 1, std::numeric_limits<qint64>::max(), id);
}

// The outcome of removing or moving a news item.
int newsChanged(bool done, VendorStore &store, qint64 id)
{
    if (done)
        return kExitOk;
    return store.lastError().isEmpty() ? usage(QStringLiteral("no news item has the ID %1").arg(id))
                                       : failure(store.lastError());
}

} // namespace

int versionShow(const Invocation &call)
{
    QCommandLineParser parser;
    int status = kExitOk;
    if (!parseArguments(parser, call, 0, &status))
        return status;
    auto database = openDatabase(parser, OpenFor::Reading, &status);
    if (!database)
        return status;
    VendorStore store(*database);
    const std::optional<int> version = store.version();
    if (!version)
        return failure(store.lastError());
    write(stdout, QString::number(*version) + u'\n');
    return kExitOk;
}

int versionSet(const Invocation &call)
{
    QCommandLineParser parser;
    int status = kExitOk;
    if (!parseArguments(parser, call, 1, &status))
        return status;
    qint64 version = 0;
    if (!parseInteger(parser.positionalArguments().first(), 1, 2147483647, &version))
        return usage(QStringLiteral("the version is a whole number from 1 to 2147483647"));
    auto database = openDatabase(parser, OpenFor::Writing, &status);
    if (!database)
        return status;
    VendorStore store(*database);
    return store.setVersion(int(version)) ? kExitOk : failure(store.lastError());
}

int newsAdd(const Invocation &call)
{
    QCommandLineParser parser;
    int status = kExitOk;
    if (!parseArguments(parser, call, 2, &status))
        return status;
    const QStringList args = parser.positionalArguments();
    const QString problem = newsItemProblem(args[0], args[1]);
    if (!problem.isEmpty())
        return usage(problem);
    auto database = openDatabase(parser, OpenFor::Writing, &status);
    if (!database)
        return status;
    VendorStore store(*database);
    const std::optional<qint64> added = store.addNews(args[0], args[1]);
    if (!added)
        return failure(store.lastError());
    write(stdout, QString::number(*added) + u'\n');
    return kExitOk;
}

int newsList(const Invocation &call)
{
    QCommandLineParser parser;
    int status = kExitOk;
    if (!parseArguments(parser, call, 0, &status))
        return status;
    auto database = openDatabase(parser, OpenFor::Reading, &status);
    if (!database)
        return status;
    VendorStore store(*database);
    const std::optional<QList<NewsItem>> items = store.news();
    if (!items)
        return failure(store.lastError());
    int position = 0;
    for (const NewsItem &item : *items)
        write(stdout,
              QStringLiteral("%1\t%2\t%3\t%4\n")
                      .arg(++position)
                      .arg(item.id)
                      .arg(printable(item.title), printable(item.address)));
    return kExitOk;
}

int newsRemove(const Invocation &call)
{
    QCommandLineParser parser;
    int status = kExitOk;
    if (!parseArguments(parser, call, 1, &status))
        return status;
    qint64 id = 0;
    if (!parseNewsId(parser.positionalArguments().first(), &id))
        return usage(QStringLiteral("the ID is a whole number from 1 (see news list)"));
    auto database = openDatabase(parser, OpenFor::Writing, &status);
    if (!database)
        return status;
    VendorStore store(*database);
    return newsChanged(store.removeNews(id), store, id);
}

int newsMove(const Invocation &call)
{
    QCommandLineParser parser;
    int status = kExitOk;
    if (!parseArguments(parser, call, 2, &status))
        return status;
    const QStringList args = parser.positionalArguments();
    qint64 id = 0, position = 0;
    if (!parseNewsId(args[0], &id))
        return usage(QStringLiteral("the ID is a whole number from 1 (see news list)"));
    if (!parseInteger(args[1], 1, 1'000'000, &position))
        return usage(QStringLiteral("the position is a whole number from 1"));
    auto database = openDatabase(parser, OpenFor::Writing, &status);
    if (!database)
        return status;
    VendorStore store(*database);
    return newsChanged(store.moveNews(id, int(position)), store, id);
}

int suggestionsList(const Invocation &call)
{
    QCommandLineParser parser;
    const QCommandLineOption since(QStringLiteral("since"), QStringLiteral("only those received from DATE on"),
                                   QStringLiteral("DATE"));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("one JSON object per line"));
    parser.addOptions({since, json});
    int status = kExitOk;
    if (!parseArguments(parser, call, 0, &status))
        return status;
    QDateTime from;
    if (parser.isSet(since)) {
        from = parseSince(parser.value(since));
        if (!from.isValid())
            return usage(QStringLiteral("--since wants a date as YYYY-MM-DD"));
    }
    auto database = openDatabase(parser, OpenFor::Reading, &status);
    if (!database)
        return status;
    VendorStore store(*database);
    const std::optional<QList<Suggestion>> list = store.suggestions(from);
    if (!list)
        return failure(store.lastError());
    for (const Suggestion &s : *list) {
        const QString time = s.receivedAt.toString(Qt::ISODate);
        if (parser.isSet(json)) {
            const QJsonObject object = {{QStringLiteral("id"), s.id},
                                        {QStringLiteral("received_at"), time},
                                        {QStringLiteral("client"), s.client},
                                        {QStringLiteral("text"), s.body}};
            write(stdout, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + u'\n');
            continue;
        }
        // A heading line, then the text's lines indented; whatever else a
        // client sent that could steer a terminal is shown as U+FFFD.
        write(stdout, QStringLiteral("#%1 %2 %3\n").arg(s.id).arg(time, printable(s.client)));
        QString body = s.body;
        body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        for (const QString &line : body.split(u'\n'))
            write(stdout, QStringLiteral("  ") + printable(line) + u'\n');
    }
    return kExitOk;
}

int ranksImport(const Invocation &call)
{
    QCommandLineParser parser;
    const QCommandLineOption top =
            optionWithDefault("top", QStringLiteral("keep the first N rows"), "N", QString::number(kDefaultTop));
    const QCommandLineOption allowEmpty(QStringLiteral("allow-empty"),
                                        QStringLiteral("accept an input without ranks (empties the table)"));
    const QCommandLineOption force(QStringLiteral("force"),
                                   QStringLiteral("accept an input with less than half the rows of the table"));
    parser.addOptions({top, allowEmpty, force});
    int status = kExitOk;
    if (!parseArguments(parser, call, 1, &status))
        return status;
    qint64 rows = 0;
    if (!parseInteger(parser.value(top), 1, std::numeric_limits<qint64>::max(), &rows))
        return usage(QStringLiteral("--top wants a whole number from 1"));
    const QString name = parser.positionalArguments().first();
    QFile input(name == QLatin1String("-") ? QString() : name);
    const bool opened =
            name == QLatin1String("-") ? input.open(stdin, QIODevice::ReadOnly) : input.open(QIODevice::ReadOnly);
    if (!opened)
        return usage(QStringLiteral("cannot read %1: %2").arg(printable(name), input.errorString()));
    auto database = openDatabase(parser, OpenFor::Writing, &status);
    if (!database)
        return status;
    QElapsedTimer clock;
    clock.start();
    const RanksImportResult result =
            importRanks(input, *database, rows, {parser.isSet(allowEmpty), parser.isSet(force)});
    if (result.refused)
        return usage(result.error);
    if (!result.ok)
        return result.badInput ? usage(result.error + QStringLiteral("; nothing changed")) : failure(result.error);
    const double seconds = std::max<qint64>(1, clock.elapsed()) / 1000.0;
    write(stderr,
          QStringLiteral("imported %1 rows in %2 s (%3 rows/s)\n")
                  .arg(result.rows)
                  .arg(seconds, 0, 'f', 1)
                  .arg(qint64(double(result.rows) / seconds)));
    return kExitOk;
}

// A consistent copy of a SQLite database while the service goes on writing:
// SQLite copies from one read transaction, what still lies in the write-ahead
// log included (copying the file alone misses that). Written under a
// temporary name and renamed, so FILE is whole or absent.
int backup(const Invocation &call)
{
    QCommandLineParser parser;
    int status = kExitOk;
    if (!parseArguments(parser, call, 1, &status))
        return status;
    const QString target = parser.positionalArguments().first();
    if (QFileInfo::exists(target))
        return usage(QStringLiteral("%1 exists already; back up to a new file").arg(printable(target)));
    auto database = openDatabase(parser, OpenFor::Reading, &status);
    if (!database)
        return status;
    if (database->isPostgres())
        return usage(QStringLiteral("PostgreSQL is backed up with its own tools: pg_dump -Fc DATABASE > FILE"));
    const QString partial = target + QStringLiteral(".partial");
    QFile::remove(partial);
    QSqlQuery query(database->db());
    query.prepare(QStringLiteral("VACUUM INTO ?"));
    query.addBindValue(partial);
    if (!query.exec()) {
        QFile::remove(partial);
        return failure(QStringLiteral("cannot back up to %1: %2").arg(printable(target), query.lastError().text()));
    }
    if (!QFile::rename(partial, target)) {
        QFile::remove(partial);
        return failure(QStringLiteral("cannot write %1").arg(printable(target)));
    }
    return kExitOk;
}

} // namespace yz::server
