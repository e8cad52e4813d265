#include "cli/RulesUpdate.h"

#include "cli/CliOptions.h"
#include "cli/ExitStatus.h"

#include "cli/ResultOutput.h"
#include "net/PageFetcher.h"
#include "net/PrintableText.h"
#include "parsers/InstalledRules.h"
#include "parsers/TrustedKeys.h"
#include "services/Endpoints.h"
#include "services/VendorPaths.h"

#include <QCommandLineParser>
#include <QEventLoop>

namespace yz::cli {
namespace {

struct Parsed {
    ServiceHosts hosts;
    QString rulesFile;
    int status = 0; // non-zero: stop with it
};

Parsed parse(const QStringList &arguments, bool withRules, const QString &usageLine, std::FILE *err)
{
    QCommandLineParser parser;
    const QString endpoints = QStringLiteral("endpoints");
    const QString rules = QStringLiteral("rules");
    QList<CliOption> options{{{endpoints}, true}};
    if (withRules)
        options.append({{rules}, true});
    Parsed parsed;
    QString error;
    if (parseWordOptions(parser, options, arguments, &error)) {
        if (!parser.positionalArguments().isEmpty())
            error = QStringLiteral("多余的参数：%1").arg(parser.positionalArguments().first());
        else if (parser.isSet(endpoints))
            applyEndpointsFile(parser.value(endpoints), parsed.hosts, &error);
    }
    if (!error.isEmpty()) {
        writeText(err, QStringLiteral("yanzhou-cli：%1\n用法：%2\n").arg(printable(error), usageLine));
        parsed.status = kExitUsage;
    }
    if (withRules && parsed.status == kExitOk)
        parsed.rulesFile = parser.value(rules);
    return parsed;
}

QString noKeyMessage()
{
    return QStringLiteral(
            "没有受信任的发布规则公钥，不接受发布的规则（用 yanzhou-cli rules trust PUBFILE 加入服务的公钥）");
}

// The vendor's answer to the rules request, waited for.
PageAnswer fetchPublished(const ServiceHosts &hosts, qint64 installedVersion)
{
    PageFetcher fetcher;
    PageAnswer answer = PageAnswer::failed(0);
    QEventLoop loop;
    const QString handler = QStringLiteral("rules");
    fetcher.handlers().add(handler, AnswerHandler([&](const PageAnswer &a) {
                               answer = a;
                               loop.quit();
                           }));
    fetcher.urlfetch(hosts.base(Service::Vendor) + QString::fromUtf16(vendor::kPublishedRules)
                             + QString::number(installedVersion),
                     QStringLiteral("get"), QString(), QStringLiteral("utf-8"), handler);
    loop.exec();
    return answer;
}

} // namespace

int runRulesUpdate(const QStringList &arguments, std::FILE *out, std::FILE *err)
{
    const Parsed parsed = parse(arguments, false, QStringLiteral("yanzhou-cli rules update [--endpoints FILE]"), err);
    if (parsed.status != 0)
        return parsed.status;
    const InstalledRules installed(trustedRulesKeys(parsed.hosts.rulesKey()));
    if (!installed.canVerify()) {
        writeText(err, QStringLiteral("yanzhou-cli：%1\n").arg(noKeyMessage()));
        return kExitFailed;
    }
    const std::optional<PublishedRules> current = installed.current();
    const PageAnswer answer = fetchPublished(parsed.hosts, current ? current->version : 0);
    if (answer.httpStatus() == 304 && current) {
        writeText(out, QStringLiteral("已是最新：版本 %1\n").arg(current->describe()));
        return kExitOk;
    }
    if (answer.httpStatus() == 404) {
        writeText(err, QStringLiteral("yanzhou-cli：服务还没有发布规则\n"));
        return kExitFailed;
    }
    if (!answer.read()) {
        writeText(err,
                  QStringLiteral("yanzhou-cli：无法取得发布的规则（%1，%2）\n")
                          .arg(answer.httpStatus() != 0 ? QStringLiteral("HTTP %1").arg(answer.httpStatus())
                                                        : QStringLiteral("状态 %1").arg(answer.status),
                               printable(answer.asked.toString())));
        return kExitFailed;
    }
    QString message;
    const bool installedNow = installed.install(answer.body, &message);
    writeText(installedNow ? out : err,
              (installedNow ? QString() : QStringLiteral("yanzhou-cli：")) + printable(message) + u'\n');
    return installedNow ? kExitOk : kExitFailed;
}

int runRulesStatus(const QStringList &arguments, std::FILE *out, std::FILE *err)
{
    const Parsed parsed =
            parse(arguments, true, QStringLiteral("yanzhou-cli rules status [--endpoints FILE] [--rules FILE]"), err);
    if (parsed.status != 0)
        return parsed.status;
    const InstalledRules installed(trustedRulesKeys(parsed.hosts.rulesKey()));
    ScrapeRules rules;
    QString source, error;
    if (!loadRulesInForce(parsed.rulesFile, installed, rules, &source, &error)) {
        writeText(err, QStringLiteral("yanzhou-cli：%1\n").arg(printable(error)));
        return kExitUsage;
    }
    writeText(out, QStringLiteral("使用中：%1\n").arg(printable(source)));
    QString problem;
    QString signer;
    if (!installed.canVerify())
        writeText(out, noKeyMessage() + u'\n');
    else if (installed.current(&problem, &signer))
        writeText(out, QStringLiteral("签名公钥：%1\n").arg(printable(signer)));
    else if (!problem.isEmpty())
        writeText(out, QStringLiteral("已安装的发布规则未通过检查，不使用：%1\n").arg(printable(problem)));
    for (const TrustedKey &key : installed.keys())
        writeText(out, QStringLiteral("受信任的公钥：%1\n").arg(printable(key.name)));
    return kExitOk;
}

int runRulesTrust(const QStringList &arguments, std::FILE *out, std::FILE *err)
{
    QCommandLineParser parser;
    QString error;
    if (parseWordOptions(parser, {}, arguments, &error) && parser.positionalArguments().size() != 1)
        error = QStringLiteral("需要一个公钥文件");
    if (!error.isEmpty()) {
        writeText(err,
                  QStringLiteral("yanzhou-cli：%1\n用法：yanzhou-cli rules trust PUBFILE\n").arg(printable(error)));
        return kExitUsage;
    }
    QString installed;
    if (!trustRulesKey(parser.positionalArguments().first(), &installed, &error)) {
        writeText(err, QStringLiteral("yanzhou-cli：%1\n").arg(printable(error)));
        return kExitFailed;
    }
    writeText(out, QStringLiteral("已信任公钥：%1\n").arg(printable(installed)));
    return kExitOk;
}

} // namespace yz::cli
