#include "server/StoreCommands.h"

#include "net/PrintableText.h"
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
qint64 newsIdArgument(const QString &text)
{
    return integerArgument(text, 1, std::numeric_limits<qint64>::max(),
                           QStringLiteral("the ID is a whole number from 1 (see news list)"));
}

// The outcome of removing or moving a news item.
int newsChanged(bool done, VendorStore &store, qint64 id)
{
    if (done)
        return kExitOk;
    if (store.lastError().isEmpty())
        refuse(QStringLiteral("no news item has the ID %1").arg(id));
    fail(store.lastError());
}

} // namespace

int versionShow(CommandCall &call)
{
    VendorStore store(call.database());
    write(stdout, QString::number(answerOf(store.version(), store)) + u'\n');
    return kExitOk;
}

int versionSet(CommandCall &call)
{
    const qint64 version = integerArgument(call.arguments.first(), 1, 2147483647,
                                           QStringLiteral("the version is a whole number from 1 to 2147483647"));
    VendorStore store(call.database());
    succeeded(store.setVersion(int(version)), store);
    return kExitOk;
}

int newsAdd(CommandCall &call)
{
    const QStringList &args = call.arguments;
    const QString problem = newsItemProblem(args[0], args[1]);
    if (!problem.isEmpty())
        refuse(problem);
    VendorStore store(call.database());
    write(stdout, QString::number(answerOf(store.addNews(args[0], args[1]), store)) + u'\n');
    return kExitOk;
}

int newsList(CommandCall &call)
{
    VendorStore store(call.database());
    int position = 0;
    for (const NewsItem &item : answerOf(store.news(), store))
        write(stdout,
              QStringLiteral("%1\t%2\t%3\t%4\n")
                      .arg(++position)
                      .arg(item.id)
                      .arg(printable(item.title), printable(item.address)));
    return kExitOk;
}

int newsRemove(CommandCall &call)
{
    const qint64 id = newsIdArgument(call.arguments.first());
    VendorStore store(call.database());
    return newsChanged(store.removeNews(id), store, id);
}

int newsMove(CommandCall &call)
{
    const qint64 id = newsIdArgument(call.arguments[0]);
    const qint64 position =
            integerArgument(call.arguments[1], 1, 1'000'000, QStringLiteral("the position is a whole number from 1"));
    VendorStore store(call.database());
    return newsChanged(store.moveNews(id, int(position)), store, id);
}

void declareSuggestions(QCommandLineParser &parser)
{
    parser.addOptions(
            {{QStringLiteral("since"), QStringLiteral("only those received from DATE on"), QStringLiteral("DATE")},
             {QStringLiteral("json"), QStringLiteral("one JSON object per line")}});
}

int suggestionsList(CommandCall &call)
{
    QDateTime from;
    if (call.isSet("since")) {
        from = parseSince(call.value("since"));
        if (!from.isValid())
            refuse(QStringLiteral("--since wants a date as YYYY-MM-DD"));
    }
    VendorStore store(call.database());
    const bool json = call.isSet("json");
    for (const Suggestion &s : answerOf(store.suggestions(from), store)) {
        const QString time = s.receivedAt.toString(Qt::ISODate);
        if (json) {
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

void declareRanksImport(QCommandLineParser &parser)
{
    parser.addOptions(
            {optionWithDefault("top", QStringLiteral("keep the first N rows"), "N", QString::number(kDefaultTop)),
             {QStringLiteral("allow-empty"), QStringLiteral("accept an input without ranks (empties the table)")},
             {QStringLiteral("force"), QStringLiteral("accept an input with less than half the rows of the table")}});
}

int ranksImport(CommandCall &call)
{
    const qint64 rows = integerArgument(call.value("top"), 1, std::numeric_limits<qint64>::max(),
                                        QStringLiteral("--top wants a whole number from 1"));
    const QString name = call.arguments.first();
    QFile input(name == QLatin1String("-") ? QString() : name);
    const bool opened =
            name == QLatin1String("-") ? input.open(stdin, QIODevice::ReadOnly) : input.open(QIODevice::ReadOnly);
    if (!opened)
        refuse(QStringLiteral("cannot read %1: %2").arg(printable(name), input.errorString()));
    Database &database = call.database();
    QElapsedTimer clock;
    clock.start();
    const RanksImportResult result =
            importRanks(input, database, rows, {call.isSet("allow-empty"), call.isSet("force")});
    if (result.refused)
        refuse(result.error);
    if (result.badInput)
        refuse(result.error + QStringLiteral("; nothing changed"));
    if (!result.ok)
        fail(result.error);
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
int backup(CommandCall &call)
{
    const QString target = call.arguments.first();
    if (QFileInfo::exists(target))
        refuse(QStringLiteral("%1 exists already; back up to a new file").arg(printable(target)));
    Database &database = call.database();
    if (database.isPostgres())
        refuse(QStringLiteral("PostgreSQL is backed up with its own tools: pg_dump -Fc DATABASE > FILE"));
    const QString partial = target + QStringLiteral(".partial");
    QFile::remove(partial);
    QSqlQuery query(database.db());
    query.prepare(QStringLiteral("VACUUM INTO ?"));
    query.addBindValue(partial);
    if (!query.exec()) {
        QFile::remove(partial);
        fail(QStringLiteral("cannot back up to %1: %2").arg(printable(target), query.lastError().text()));
    }
    if (!QFile::rename(partial, target)) {
        QFile::remove(partial);
        fail(QStringLiteral("cannot write %1").arg(printable(target)));
    }
    return kExitOk;
}

} // namespace yz::server
