#include "cli/RulesCheck.h"

#include "cli/CliOptions.h"
#include "cli/ExitStatus.h"

#include "cli/PageArchive.h"
#include "cli/ResultOutput.h"
#include "net/BoundedRead.h"
#include "net/spyHTTP.h"
#include "parsers/ResultHandlers.h"
#include "parsers/RulesFile.h"
#include "query/CellStatus.h"

#include <QCommandLineParser>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace yz::cli {
namespace {

// The charset label a row's answer is decoded with under the rules.
QString charsetOf(const QString &handler, const ScrapeRules &rules)
{
    if (handler == QStringView(kPageRankHandler))
        return QStringLiteral("gb2312");
    const QueryRow *row = findQueryRow(handler);
    return row ? rowCharsetLabel(*row, rules.charsets[size_t(row->service)]) : QString();
}

} // namespace

int runRulesCheck(const QStringList &arguments, std::FILE *out, std::FILE *err)
{
    QCommandLineParser parser;
    const QString pages = QStringLiteral("pages");
    auto usage = [err](const QString &message) {
        writeText(err,
                  QStringLiteral("yanzhou-cli：%1\n用法：yanzhou-cli rules check FILE|- --pages DIR\n")
                          .arg(printable(message)));
        return kExitUsage;
    };
    QString mistake;
    if (!parseWordOptions(parser, {{{pages}, true}}, arguments, &mistake))
        return usage(mistake);
    if (parser.positionalArguments().size() != 1 || !parser.isSet(pages))
        return usage(QStringLiteral("需要一个规则文件（- 表示内置规则）和 --pages 目录"));
    ScrapeRules rules;
    QString error;
    const QString rulesFile = parser.positionalArguments().first();
    if (rulesFile != u"-" && !applyRulesFile(rulesFile, rules, &error))
        return usage(error);
    const QDir dir(parser.value(pages));
    QByteArray indexBytes;
    constexpr qint64 kMaxIndex = 256 * 1024 * 1024;
    if (!readSmallFile(dir.filePath(QStringLiteral("index.json")), kMaxIndex, QStringLiteral("页面索引"), &indexBytes,
                       &error))
        return usage(error);
    const QJsonDocument index = QJsonDocument::fromJson(indexBytes);
    if (!index.isArray())
        return usage(QStringLiteral("%1 不是 --save-pages 写的索引").arg(dir.filePath(QStringLiteral("index.json"))));
    for (const QJsonValue &entry : index.array()) {
        const QJsonObject e = entry.toObject();
        const QString domain = e.value(QStringLiteral("domain")).toString();
        const QString row = e.value(QStringLiteral("row")).toString();
        const QString name = e.value(QStringLiteral("file")).toString();
        // Only files of the directory itself are read, whatever the index says.
        if (name.isEmpty() || name.contains(u'/') || name.startsWith(u'.'))
            continue;
        QByteArray body;
        if (!readSmallFile(dir.filePath(name), 64 * 1024 * 1024, QStringLiteral("页面"), &body, &error)) {
            writeText(err, printable(error) + u'\n');
            continue;
        }
        PageAnswer answer = PageAnswer::failed(e.value(QStringLiteral("status")).toInt());
        answer.asked = QUrl(e.value(QStringLiteral("address")).toString());
        answer.body = body;
        if (answer.status == 200) {
            answer.outcome = PageAnswer::Outcome::Read;
            answer.text = decodePage(body, charsetOf(row, rules));
        }
        const Scraped scraped = scrapeRowAnswer(row, rules, answer, domain);
        const QString value = scraped.value;
        const QString cause = rowReadsValue(row) ? CellStatus::of(answer, scraped).summary() : requestOutcome(answer);
        writeText(out,
                  QStringLiteral("%1\t%2\t%3\t%4\t%5\n")
                          .arg(printable(domain), printable(row), printable(value), cause, printable(name)));
    }
    return kExitOk;
}

} // namespace yz::cli
