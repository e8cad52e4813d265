#include "cli/HistoryCommand.h"

#include "cli/ResultOutput.h"
#include "cli/ResultStore.h"
#include "net/PrintableText.h"

#include <QCommandLineParser>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace yz::cli {
namespace {

} // namespace

int runHistory(const QStringList &arguments, std::FILE *out, std::FILE *err)
{
    QCommandLineParser parser;
    const QCommandLineOption store(QStringLiteral("store"), QString(), QStringLiteral("FILE"),
                                   QString::fromLatin1(kDefaultStore));
    const QCommandLineOption since(QStringLiteral("since"), QString(), QStringLiteral("DATE"));
    const QCommandLineOption csv(QStringLiteral("csv"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption changed(QStringLiteral("changed"));
    parser.addOptions({store, since, csv, json, changed});
    auto usage = [err](const QString &message) {
        writeText(err,
                  QStringLiteral("yanzhou-cli：%1\n用法：yanzhou-cli history 域名 [--store FILE] [--csv|--json] "
                                 "[--since YYYY-MM-DD]\n      yanzhou-cli history --changed [--since YYYY-MM-DD]\n")
                          .arg(printable(message)));
        return 2;
    };
    if (!parser.parse(QStringList{QStringLiteral("yanzhou-cli")} + arguments))
        return usage(parser.errorText());
    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(changed) ? !positional.isEmpty() : positional.size() != 1)
        return usage(parser.isSet(changed) ? QStringLiteral("--changed 不带域名") : QStringLiteral("需要一个域名"));
    if (parser.isSet(csv) && parser.isSet(json))
        return usage(QStringLiteral("--json 与 --csv 只能选一个"));
    QDateTime from;
    if (parser.isSet(since)) {
        const QDate day = QDate::fromString(parser.value(since), QStringLiteral("yyyy-MM-dd"));
        if (!day.isValid())
            return usage(QStringLiteral("--since 需要 YYYY-MM-DD 格式的日期"));
        from = QDateTime(day, QTime(0, 0), Qt::UTC);
    }

    ResultStore results(parser.value(store));
    QString error;
    if (!results.open(&error)) {
        writeText(err, QStringLiteral("yanzhou-cli：%1\n").arg(printable(error)));
        return 2;
    }

    if (parser.isSet(changed)) {
        const std::optional<QStringList> domains = results.domains(&error);
        if (!domains) {
            writeText(err, QStringLiteral("yanzhou-cli：%1\n").arg(printable(error)));
            return 1;
        }
        for (const QString &domain : *domains) {
            const std::optional<QList<StoredRun>> runs = results.runs(domain, from, &error);
            int changes = 0;
            for (qsizetype i = 1; runs && i < runs->size(); ++i)
                changes += changedKeys(runs->at(i - 1), runs->at(i)).isEmpty() ? 0 : 1;
            if (changes > 0)
                writeText(out,
                          QStringLiteral("%1\t%2\t%3\n")
                                  .arg(printable(domain))
                                  .arg(changes)
                                  .arg(printable(runs->last().runAt)));
        }
        return 0;
    }

    const QString domain = positional.first();
    const std::optional<QList<StoredRun>> runs = results.runs(domain, from, &error);
    if (!runs) {
        writeText(err, QStringLiteral("yanzhou-cli：%1\n").arg(printable(error)));
        return 1;
    }
    QStringList keys;
    for (const StoredRun &run : *runs)
        for (const StoredCell &cell : run.cells)
            if (!keys.contains(cell.key))
                keys.append(cell.key);
    if (parser.isSet(csv)) {
        QStringList header{QStringLiteral("时间")};
        for (const QString &key : std::as_const(keys))
            header.append(csvQuoted(key));
        header.append(QStringLiteral("变化"));
        writeText(out, QStringLiteral("\uFEFF") + header.join(u',') + QStringLiteral("\r\n"));
    }
    for (qsizetype i = 0; i < runs->size(); ++i) {
        const StoredRun &run = runs->at(i);
        const QStringList differences = i == 0 ? QStringList() : changedKeys(runs->at(i - 1), run);
        const QHash<QString, QString> values = run.values();
        if (parser.isSet(json)) {
            QJsonObject cells;
            for (const StoredCell &cell : run.cells)
                cells.insert(cell.key, cell.value);
            const QJsonObject line{{QStringLiteral("domain"), domain},
                                   {QStringLiteral("run_at"), run.runAt},
                                   {QStringLiteral("cells"), cells},
                                   {QStringLiteral("changed"), QJsonArray::fromStringList(differences)}};
            writeText(out, QString::fromUtf8(QJsonDocument(line).toJson(QJsonDocument::Compact)) + u'\n');
        } else if (parser.isSet(csv)) {
            QStringList row{csvQuoted(run.runAt)};
            for (const QString &key : std::as_const(keys))
                row.append(csvQuoted(values.value(key)));
            row.append(csvQuoted(differences.join(u';')));
            writeText(out, row.join(u',') + QStringLiteral("\r\n"));
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
