#include "cli/HistoryCommand.h"

#include "cli/CliOptions.h"
#include "cli/DomainInput.h"
#include "cli/ResultOutput.h"
#include "net/HostName.h"
#include "net/PrintableText.h"
#include "results/ResultStore.h"

#include <QCommandLineParser>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace yz::cli {
namespace {

// The headings of stored keys, as the run's CSV names them.
QStringList headingsOf(const QStringList &keys)
{
    QStringList headings;
    for (const QString &key : keys)
        headings.append(csvHeadingOf(key));
    return headings;
}

} // namespace

int runHistory(const QStringList &typed, std::FILE *out, std::FILE *err)
{
    const QStringList arguments = withDefaultStore(typed);
    QCommandLineParser parser;
    const QCommandLineOption store(QStringLiteral("store"), QString(), QStringLiteral("FILE"), defaultResultsFile());
    const QCommandLineOption since(QStringLiteral("since"), QString(), QStringLiteral("DATE"));
    const QCommandLineOption csv(QStringLiteral("csv"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption changed(QStringLiteral("changed"));
    parser.addOptions({store, since, csv, json, changed});
    auto usage = [err](const QString &message) {
        writeText(err,
                  QStringLiteral("yanzhou-cli history：%1（yanzhou-cli --help 查看用法）\n").arg(printable(message)));
        return 2;
    };
    auto failed = [err](const QString &message) {
        writeText(err, QStringLiteral("yanzhou-cli：%1\n").arg(printable(message)));
        return 1;
    };
    if (!parser.parse(QStringList{QStringLiteral("yanzhou-cli")} + arguments))
        return usage(parser.errorText());
    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(changed) ? !positional.isEmpty() : positional.size() != 1)
        return usage(parser.isSet(changed) ? QStringLiteral("--changed 不带域名") : QStringLiteral("需要一个域名"));
    if (parser.isSet(csv) && parser.isSet(json))
        return usage(QStringLiteral("--json 与 --csv 只能选一个"));
    // A date is the user's: from local midnight on.
    QString since8601;
    if (parser.isSet(since)) {
        const QDate day = QDate::fromString(parser.value(since), QStringLiteral("yyyy-MM-dd"));
        if (!day.isValid())
            return usage(QStringLiteral("--since 需要 YYYY-MM-DD 格式的日期"));
        since8601 = QDateTime(day, QTime(0, 0)).toUTC().toString(Qt::ISODate);
    }
    // Whether a run is one the output covers; a change is measured against
    // the run before it, wherever that falls.
    const auto covered = [&since8601](const StoredRun &run) { return run.runAt >= since8601; };

    ResultStore results(parser.value(store));
    QString error;
    if (!results.open(ResultStore::Purpose::Reading, &error))
        return failed(error);

    if (parser.isSet(changed)) {
        const std::optional<QStringList> domains = results.domains(&error);
        if (!domains)
            return failed(error);
        for (const QString &domain : *domains) {
            const std::optional<QList<StoredRun>> runs = results.runs(domain, {}, &error);
            if (!runs)
                return failed(error);
            int changes = 0;
            for (qsizetype i = 1; i < runs->size(); ++i)
                changes += covered(runs->at(i)) && !changedKeys(runs->at(i - 1), runs->at(i)).isEmpty() ? 1 : 0;
            if (changes > 0)
                writeText(out,
                          QStringLiteral("%1\t%2\t%3\n")
                                  .arg(printable(domain))
                                  .arg(changes)
                                  .arg(printable(runs->last().runAt)));
        }
        return 0;
    }

    QString reason;
    const std::optional<QString> domain = normalizeHostName(positional.first(), &reason);
    if (!domain)
        return usage(QStringLiteral("%1 不是域名：%2").arg(positional.first(), reason));
    const std::optional<QList<StoredRun>> runs = results.runs(*domain, {}, &error);
    if (!runs)
        return failed(error);
    QStringList keys;
    for (const StoredRun &run : *runs)
        for (const StoredCell &cell : run.cells)
            if (!keys.contains(cell.key))
                keys.append(cell.key);
    if (parser.isSet(csv))
        writeBytes(out,
                   "\xEF\xBB\xBF"
                           + csvLine(QStringList{QStringLiteral("时间")} + headingsOf(keys)
                                     + QStringList{QStringLiteral("变化")}));
    for (qsizetype i = 0; i < runs->size(); ++i) {
        const StoredRun &run = runs->at(i);
        if (!covered(run))
            continue;
        const QStringList differences = i == 0 ? QStringList() : changedKeys(runs->at(i - 1), run);
        const QHash<QString, QString> values = run.values();
        if (parser.isSet(json)) {
            QJsonObject cells;
            for (const StoredCell &cell : run.cells)
                cells.insert(cell.key, cell.value);
            const QJsonObject line{{QStringLiteral("domain"), *domain},
                                   {QStringLiteral("run_at"), run.runAt},
                                   {QStringLiteral("cells"), cells},
                                   {QStringLiteral("changed"), QJsonArray::fromStringList(differences)}};
            writeText(out, QString::fromUtf8(QJsonDocument(line).toJson(QJsonDocument::Compact)) + u'\n');
        } else if (parser.isSet(csv)) {
            QStringList row{run.runAt};
            for (const QString &key : std::as_const(keys))
                row.append(values.value(key));
            row.append(headingsOf(differences).join(u';'));
            writeBytes(out, csvLine(row));
        } else {
            // The database is a file on disk: what it holds is shown, never obeyed.
            QString line = printable(run.runAt) + QStringLiteral("  ");
            if (i == 0) {
                line += QStringLiteral("（第一次）");
            } else if (differences.isEmpty()) {
                line += QStringLiteral("没有变化");
            } else {
                const QHash<QString, QString> before = runs->at(i - 1).values();
                QStringList parts;
                for (const QString &key : differences)
                    parts.append(
                            QStringLiteral("%1 %2 → %3")
                                    .arg(printable(key), printable(before.value(key)), printable(values.value(key))));
                line += parts.join(QStringLiteral("；"));
            }
            writeText(out, line + u'\n');
        }
    }
    return 0;
}

} // namespace yz::cli
