#include "cli/HistoryCommand.h"

#include "cli/CliOptions.h"
#include "cli/ExitStatus.h"
#include "cli/ResultOutput.h"
#include "net/HostName.h"
#include "results/HistoryTable.h"
#include "results/ResultStore.h"
#include "results/ValueComparison.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace yz::cli {
namespace {

// The mark of what `history --changed --unreported` has reported.
const QString kChangedReport = QStringLiteral("changed");

// A time for data: ISO 8601 in local time, with its offset.
QString localIso(const QDateTime &at)
{
    const QDateTime local = at.toLocalTime();
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

enum class Format { Text, Csv, Json };

struct HistoryRequest {
    QString store;
    QDateTime since; // invalid: from the first run
    Format format = Format::Text;
    bool changed = false;
    bool unreported = false;
    QString domain;
};

// The report of what changed, per domain: each metric's old and new good
// values, failures on their own. Nothing at all when nothing changed, so
// that `mail -E` sends no empty mail.
void writeChangeReport(const ChangeReport &report, const HistoryRequest &request, std::FILE *out)
{
    QStringList domains;
    for (const MetricChange &change : report.changes)
        if (!domains.contains(change.domain))
            domains.append(change.domain);
    for (const DomainFailures &failures : report.failures)
        if (!domains.contains(failures.domain))
            domains.append(failures.domain);
    domains.sort();
    if (domains.isEmpty())
        return;
    const auto failuresOf = [&report](const QString &domain) {
        for (const DomainFailures &f : report.failures)
            if (f.domain == domain)
                return f;
        return DomainFailures{};
    };
    if (request.format == Format::Csv) {
        QByteArray csv = kCsvByteOrderMark
                + csvLine({QStringLiteral("域名"), QStringLiteral("指标"), QStringLiteral("原值"),
                           QStringLiteral("原值时间"), QStringLiteral("新值"), QStringLiteral("新值时间"),
                           QStringLiteral("变化")});
        for (const QString &domain : std::as_const(domains)) {
            for (const MetricChange &c : report.changes)
                if (c.domain == domain)
                    csv += csvLine({domain, metricHeading(c.key), c.before, localTimeText(c.beforeAt), c.after,
                                    localTimeText(c.afterAt), percentChange(c.before, c.after)});
            if (const DomainFailures f = failuresOf(domain); f.count > 0)
                csv += csvLine({domain, QStringLiteral("查询失败"), QString(), QString(), QString::number(f.count),
                                localTimeText(f.lastAt), QString()});
        }
        writeBytes(out, csv);
        return;
    }
    if (request.format == Format::Json) {
        for (const QString &domain : std::as_const(domains)) {
            QJsonArray changes;
            for (const MetricChange &c : report.changes)
                if (c.domain == domain)
                    changes.append(QJsonObject{{QStringLiteral("metric"), metricHeading(c.key)},
                                               {QStringLiteral("key"), c.key},
                                               {QStringLiteral("before"), c.before},
                                               {QStringLiteral("before_at"), localIso(c.beforeAt)},
                                               {QStringLiteral("after"), c.after},
                                               {QStringLiteral("after_at"), localIso(c.afterAt)},
                                               {QStringLiteral("percent"), percentChange(c.before, c.after)}});
            const DomainFailures f = failuresOf(domain);
            QJsonObject line{{QStringLiteral("domain"), domain},
                             {QStringLiteral("changes"), changes},
                             {QStringLiteral("failures"), f.count}};
            if (f.count > 0)
                line.insert(QStringLiteral("last_failure_at"), localIso(f.lastAt));
            writeText(out, QString::fromUtf8(QJsonDocument(line).toJson(QJsonDocument::Compact)) + u'\n');
        }
        return;
    }
    // The database is a file on disk: what it holds is shown, never obeyed.
    QString text = request.unreported ? QStringLiteral("站点数据变化（上次报告以来，本地时间）\n")
            : request.since.isValid()
            ? QStringLiteral("站点数据变化（%1 起，本地时间）\n").arg(localTimeText(request.since))
            : QStringLiteral("站点数据变化（本地时间）\n");
    for (const QString &domain : std::as_const(domains)) {
        text += u'\n' + printable(domain) + u'\n';
        for (const MetricChange &c : report.changes) {
            if (c.domain != domain)
                continue;
            const QString percent = percentChange(c.before, c.after);
            text += QStringLiteral("  %1 %2 → %3%4（%5 → %6）\n")
                            .arg(printable(metricHeading(c.key)), printable(c.before.trimmed()),
                                 printable(c.after.trimmed()), percent.isEmpty() ? QString() : u' ' + percent,
                                 localTimeText(c.beforeAt), localTimeText(c.afterAt));
        }
        if (const DomainFailures f = failuresOf(domain); f.count > 0)
            text += QStringLiteral("  %1 次查询失败（最近 %2）\n").arg(f.count).arg(localTimeText(f.lastAt));
    }
    writeText(out, text);
}

// One run of a domain's history as a line of text.
QString historyText(const HistoryLine &line)
{
    QString text = localTimeText(line.run.at) + QStringLiteral("  ");
    if (const QString source = sourceText(line.run.source); !source.isEmpty())
        text += source + QStringLiteral("  ");
    QStringList parts;
    for (const ValueChange &change : line.changes) {
        const QString percent = percentChange(change.before, change.after);
        parts.append(QStringLiteral("%1 %2 → %3%4")
                             .arg(printable(metricHeading(change.key)), printable(change.before.trimmed()),
                                  printable(change.after.trimmed()),
                                  percent.isEmpty() ? QString() : QStringLiteral("（%1）").arg(percent)));
    }
    if (!line.failed.isEmpty()) {
        QStringList failed;
        for (const QString &key : line.failed)
            failed.append(printable(metricHeading(key)));
        parts.append(QStringLiteral("%1 项查询失败：%2").arg(failed.size()).arg(failed.join(u'、')));
    }
    if (line.first)
        parts.prepend(QStringLiteral("（第一次）"));
    else if (line.changes.isEmpty())
        parts.prepend(QStringLiteral("没有变化"));
    return text + parts.join(QStringLiteral("；")) + u'\n';
}

void writeDomainHistory(const HistoryTable &table, const QString &domain, Format format, std::FILE *out)
{
    if (format == Format::Csv) {
        writeBytes(out, historyCsv(table));
        return;
    }
    for (const HistoryLine &line : table.lines) {
        if (format == Format::Text) {
            writeText(out, historyText(line));
            continue;
        }
        QJsonObject cells;
        for (const StoredCell &cell : line.run.cells)
            cells.insert(cell.key, cell.value);
        QJsonArray changed;
        for (const ValueChange &change : line.changes)
            changed.append(change.key);
        const QJsonObject json{{QStringLiteral("domain"), domain},
                               {QStringLiteral("run"), line.run.id},
                               {QStringLiteral("run_at"), localIso(line.run.at)},
                               {QStringLiteral("source"), line.run.source},
                               {QStringLiteral("groups"),
                                QJsonArray::fromStringList(line.run.groups.names().split(u',', Qt::SkipEmptyParts))},
                               {QStringLiteral("cells"), cells},
                               {QStringLiteral("changed"), changed},
                               {QStringLiteral("failed"), QJsonArray::fromStringList(line.failed)}};
        writeText(out, QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact)) + u'\n');
    }
}

// Reads the word's arguments; a usage error is returned in `error`.
std::optional<HistoryRequest> parseRequest(const QStringList &typed, QString *error)
{
    const QStringList arguments = withDefaultStore(typed);
    QCommandLineParser parser;
    const QList<CliOption> options{{{QStringLiteral("store")}, true},    {{QStringLiteral("since")}, true},
                                   {{QStringLiteral("csv")}, false},     {{QStringLiteral("json")}, false},
                                   {{QStringLiteral("changed")}, false}, {{QStringLiteral("unreported")}, false}};
    if (!parseWordOptions(parser, options, arguments, error))
        return std::nullopt;
    HistoryRequest request;
    request.store =
            parser.isSet(QStringLiteral("store")) ? parser.value(QStringLiteral("store")) : defaultResultsFile();
    request.changed = parser.isSet(QStringLiteral("changed"));
    request.unreported = parser.isSet(QStringLiteral("unreported"));
    const QStringList positional = parser.positionalArguments();
    if (request.changed ? !positional.isEmpty() : positional.size() != 1)
        *error = request.changed ? QStringLiteral("--changed 不带域名") : QStringLiteral("需要一个域名");
    else if (parser.isSet(QStringLiteral("csv")) && parser.isSet(QStringLiteral("json")))
        *error = QStringLiteral("--json 与 --csv 只能选一个");
    else if (request.unreported && !request.changed)
        *error = QStringLiteral("--unreported 只用于 --changed");
    if (!error->isEmpty())
        return std::nullopt;
    request.format = parser.isSet(QStringLiteral("csv")) ? Format::Csv
            : parser.isSet(QStringLiteral("json"))       ? Format::Json
                                                         : Format::Text;
    // A date is the user's: from local midnight on.
    if (parser.isSet(QStringLiteral("since"))) {
        const QDate day = QDate::fromString(parser.value(QStringLiteral("since")), QStringLiteral("yyyy-MM-dd"));
        if (!day.isValid()) {
            *error = QStringLiteral("--since 需要 YYYY-MM-DD 格式的日期");
            return std::nullopt;
        }
        request.since = QDateTime(day, QTime(0, 0));
    }
    if (!request.changed) {
        QString reason;
        const std::optional<QString> domain = normalizeHostName(positional.first(), &reason);
        if (!domain) {
            *error = QStringLiteral("%1 不是域名：%2").arg(positional.first(), reason);
            return std::nullopt;
        }
        request.domain = *domain;
    }
    return request;
}

} // namespace

int runHistory(const QStringList &arguments, std::FILE *out, std::FILE *err)
{
    const auto failed = [err](const QString &message) {
        writeText(err, QStringLiteral("yanzhou-cli：%1\n").arg(printable(message)));
        return kExitFailed;
    };
    QString error;
    const std::optional<HistoryRequest> request = parseRequest(arguments, &error);
    if (!request) {
        writeText(err,
                  QStringLiteral("yanzhou-cli history：%1（yanzhou-cli --help 查看用法）\n").arg(printable(error)));
        return kExitUsage;
    }
    ResultStore results(request->store);
    if (!results.open(ResultStore::Purpose::Reading, &error))
        return failed(error);

    if (request->changed) {
        ReportWindow window;
        window.since = request->since;
        if (request->unreported) {
            const std::optional<qint64> mark = results.reportMark(kChangedReport, &error);
            if (!mark)
                return failed(error);
            window.afterRun = *mark;
        }
        const std::optional<ChangeReport> report = results.changes(window, &error);
        if (!report)
            return failed(error);
        writeChangeReport(*report, *request, out);
        std::fflush(out);
        if (request->unreported && !results.setReportMark(kChangedReport, report->newestRun, &error))
            return failed(error);
        return kExitOk;
    }

    const std::optional<QList<StoredRun>> runs = results.runs(request->domain, {}, &error);
    if (!runs)
        return failed(error);
    if (runs->isEmpty())
        return failed(QStringLiteral("结果数据库 %1 里没有 %2 的记录").arg(request->store, request->domain));
    writeDomainHistory(historyTable(*runs, request->since), request->domain, request->format, out);
    return kExitOk;
}

} // namespace yz::cli
