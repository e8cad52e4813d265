// The command-line front end: runs what one press of 查询 runs, for many
// domains at once, and prints what the window would show, in input order.
#include "cli/BatchRun.h"
#include "cli/CliOptions.h"
#include "cli/DomainInput.h"
#include "cli/ExitStatus.h"
#include "cli/HistoryCommand.h"
#include "cli/InterruptWatch.h"
#include "cli/Progress.h"
#include "cli/ResultOutput.h"
#include "cli/Resume.h"
#include "cli/RulesCheck.h"
#include "cli/RulesUpdate.h"
#include "net/ProgramVersion.h"
#include "net/ProxyChoice.h"
#include "parsers/InstalledRules.h"
#include "parsers/RulesFile.h"
#include "results/ResultStore.h"
#include "services/Endpoints.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

using yz::cli::kExitFailed;
using yz::cli::kExitUsage;

// The words that run something else than a batch of domains.
struct Word {
    QStringList words;
    int (*run)(const QStringList &arguments, std::FILE *out, std::FILE *err);
};
const Word kWords[] = {
        {{QStringLiteral("history")}, yz::cli::runHistory},
        {{QStringLiteral("rules"), QStringLiteral("check")}, yz::cli::runRulesCheck},
        {{QStringLiteral("rules"), QStringLiteral("update")}, yz::cli::runRulesUpdate},
        {{QStringLiteral("rules"), QStringLiteral("status")}, yz::cli::runRulesStatus},
        {{QStringLiteral("rules"), QStringLiteral("trust")}, yz::cli::runRulesTrust},
};

QString programName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

// Messages can quote what a user's file or arguments hold; control
// characters in them are neutralised before they reach the terminal.
int usageError(const QString &message)
{
    yz::cli::writeText(stderr,
                       programName() + QStringLiteral("：") + yz::cli::printable(message)
                               + QStringLiteral("（%1 --help 查看用法）\n").arg(programName()));
    return kExitUsage;
}

int fileError(const QString &message)
{
    yz::cli::writeText(stderr, programName() + QStringLiteral("：") + yz::cli::printable(message) + u'\n');
    return kExitUsage;
}

// The trend directory exists (it is made when missing) and takes files.
bool prepareTrendDir(const QString &dir, QString *error)
{
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("无法创建趋势图目录 %1").arg(dir);
        return false;
    }
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral(".probe-XXXXXX")));
    if (!QFileInfo(dir).isDir() || !probe.open()) {
        *error = QStringLiteral("趋势图目录 %1 不可写").arg(dir);
        return false;
    }
    return true;
}

// The domains of the arguments and of --input; what is not a domain is told
// on standard error with where it stood. False when the file cannot be read.
bool readDomains(const yz::cli::CliOptions &options, yz::cli::DomainInput *input, QString *error)
{
    yz::cli::addArgumentDomains(options.domains, input);
    if (!options.inputFile.isEmpty()) {
        QFile file;
        const bool opened = options.inputFile == u"-"
                ? file.open(stdin, QIODevice::ReadOnly)
                : (file.setFileName(options.inputFile), file.open(QIODevice::ReadOnly));
        if (!opened) {
            *error = QStringLiteral("无法读取域名文件 %1：%2").arg(options.inputFile, file.errorString());
            return false;
        }
        const std::optional<QString> text = yz::cli::decodeInputFile(file.readAll(), error);
        if (!text) {
            *error = options.inputFile + QStringLiteral("：") + *error;
            return false;
        }
        yz::cli::addTextDomains(*text, input);
    }
    for (const yz::cli::RejectedDomain &rejected : std::as_const(input->rejected))
        yz::cli::writeText(stderr,
                           (rejected.line > 0 ? QStringLiteral("第 %1 行：").arg(rejected.line) : QString())
                                   + yz::cli::printable(rejected.text) + QStringLiteral(" 不是域名（") + rejected.reason
                                   + QStringLiteral("），不查询\n"));
    return true;
}

// Each domain's result as it comes, in input order: its problems on standard
// error, its record kept (or, resumed, today's run completed), its lines on
// standard output. A failure to keep or write sets the exit status.
struct ResultPrinter {
    const yz::cli::CliOptions &options;
    yz::ResultStore *store;
    yz::cli::PageArchive *archive;
    const QHash<QString, yz::cli::ResumePlan> &plans;
    yz::cli::Progress &progress;
    int &status;
    bool headerWritten = false;

    void print(const yz::cli::DomainResult &finished)
    {
        yz::cli::DomainResult result = finished;
        const auto plan = plans.constFind(result.domain);
        if (plan != plans.constEnd())
            yz::cli::mergeStored(result, *plan);
        progress.clear();
        const QString domain = yz::cli::printable(result.domain);
        if (!result.rootMessage.isEmpty()) {
            yz::cli::writeText(stderr,
                               domain + QStringLiteral("：") + result.rootMessage + QStringLiteral("（")
                                       + result.rootReason + QStringLiteral("）\n"));
            status = kExitFailed;
        }
        if (!result.trendProblem.isEmpty()) {
            yz::cli::writeText(stderr, domain + QStringLiteral("：") + result.trendProblem + u'\n');
            if (result.trendWriteFailed)
                status = kExitFailed;
        }
        if (archive)
            archive->add(result.pages);
        QString error;
        const bool kept = !store
                || (plan != plans.constEnd()
                            ? store->complete(plan->stored.id, yz::cli::askedAgain(finished, *plan), &error)
                            : store->add(result.domain, result, yz::kSourceCommandLine, &error).has_value());
        if (!kept) {
            yz::cli::writeText(stderr, domain + QStringLiteral("：结果未能保存：") + error + u'\n');
            status = kExitFailed;
        }
        if (options.json || options.csv) {
            QByteArray line = options.json ? yz::cli::jsonReport(result, options.detail)
                                           : yz::cli::csvRow(result, options.detail);
            if (options.csv && !headerWritten)
                line.prepend(yz::cli::csvHeader(result, options.detail));
            yz::cli::writeBytes(stdout, line);
        } else {
            // A blank line between two domains' grids.
            yz::cli::writeText(stdout,
                               (headerWritten ? QStringLiteral("\n") : QString()) + yz::cli::plainReport(result));
        }
        headerWritten = true;
        std::fflush(stdout);
        std::fflush(stderr);
    }
};

// What the run says about its hosts on standard error while it goes: a host
// given up, a proxy that fails (once), and on Ctrl-C every host's summary.
void tellAboutHosts(yz::cli::BatchRun &batch, yz::cli::Progress &progress, const std::optional<QNetworkProxy> &proxy,
                    yz::cli::InterruptWatch &interrupted)
{
    QObject::connect(&batch.gate(), &yz::HostGate::gaveUp, [&progress](const QString &host, int refusals) {
        progress.clear();
        yz::cli::writeText(
                stderr,
                QStringLiteral("%1 连续拒绝 %2 次，本次不再查询\n").arg(yz::cli::printable(host)).arg(refusals));
    });
    const QString proxyName = proxy ? yz::proxyText(*proxy) : QStringLiteral("（环境变量所设）");
    QObject::connect(&batch, &yz::cli::BatchRun::proxyFailed,
                     [&progress, proxyName, told = std::make_shared<bool>(false)] {
                         if (std::exchange(*told, true))
                             return;
                         progress.clear();
                         yz::cli::writeText(stderr,
                                            QStringLiteral(
                                                    "无法经代理服务器 %1 发出请求（连不上、拒绝转发或要求认证）\n")
                                                    .arg(proxyName));
                     });
    QObject::connect(&interrupted, &yz::cli::InterruptWatch::interrupted, [&batch, &progress] {
        progress.clear();
        yz::cli::writeText(stderr,
                           QStringLiteral("已中断\n") + yz::cli::Progress::hostSummary(batch.gate().summary(), true));
        std::fflush(stdout);
        std::_Exit(yz::cli::kExitInterrupted);
    });
}

// Everything a run of queries needs before its first request: the hosts
// and proxy, the rules in force, the domains, where pages and results go,
// and what --resume leaves to ask.
struct RunSetup {
    yz::ServiceHosts hosts;
    std::optional<QNetworkProxy> proxy;
    std::unique_ptr<yz::ScrapeRules> rules = std::make_unique<yz::ScrapeRules>();
    std::unique_ptr<yz::cli::PageArchive> archive;
    yz::cli::DomainInput input;
    std::unique_ptr<yz::ResultStore> store;
    yz::cli::ResumeSelection selection;
};

// Fills the setup from the options; false with the exit status when an
// option, a file or the input is refused.
bool prepareRun(const yz::cli::CliOptions &options, RunSetup &setup, int *status)
{
    QString error;
    const auto refuse = [status, &error](int (*report)(const QString &)) {
        *status = report(error);
        return false;
    };
    if (!options.proxy.isEmpty() && !(setup.proxy = yz::parseProxyUrl(options.proxy, &error)))
        return refuse(usageError);
    yz::ProxyChoice::install(setup.proxy);
    if (!options.endpointsFile.isEmpty() && !yz::applyEndpointsFile(options.endpointsFile, setup.hosts, &error))
        return refuse(fileError);
    // A rules file, else the installed published rules, else the built-in ones.
    QString rulesSource;
    const yz::InstalledRules installed(yz::trustedRulesKeys(setup.hosts.rulesKey()));
    if (!yz::loadRulesInForce(options.rulesFile, installed, *setup.rules, &rulesSource, &error))
        return refuse(fileError);
    if (options.groups.trend && !prepareTrendDir(options.trendDir, &error))
        return refuse(fileError);
    if (!options.pagesDir.isEmpty()) {
        setup.archive = std::make_unique<yz::cli::PageArchive>(options.pagesDir);
        if (!setup.archive->prepare(&error))
            return refuse(fileError);
    }
    // What is not a domain name is reported where it stood and not sent.
    if (!readDomains(options, &setup.input, &error))
        return refuse(fileError);
    if (setup.input.domains.isEmpty()) {
        error = QStringLiteral("没有要查询的域名");
        return refuse(usageError);
    }
    if (!options.storeFile.isEmpty()) {
        setup.store = std::make_unique<yz::ResultStore>(options.storeFile);
        if (!setup.store->open(yz::ResultStore::Purpose::Writing, &error))
            return refuse(fileError);
    }
    setup.selection = {setup.input.domains, {}, 0};
    if (!options.resume)
        return true;
    // --resume: what today's runs already have is not asked again.
    std::optional<yz::cli::ResumeSelection> selected =
            yz::cli::selectForResume(*setup.store, setup.input.domains, options.groups, setup.rules->labels, &error);
    if (!selected)
        return refuse(fileError);
    setup.selection = std::move(*selected);
    if (setup.selection.skipped > 0)
        yz::cli::writeText(stderr, QStringLiteral("今天已有完整结果，跳过 %1 个域名\n").arg(setup.selection.skipped));
    return true;
}

// Runs the queries of the options, printing each domain's result in input
// order; the exit status.
int runQueries(const yz::cli::CliOptions &options)
{
    RunSetup setup;
    int status = 0;
    if (!prepareRun(options, setup, &status))
        return status;
    status = setup.input.rejected.isEmpty() ? 0 : kExitFailed;
    yz::cli::Progress progress(stderr);
    yz::cli::BatchRun batch(setup.hosts, options.groups, setup.selection.toRun, options.trendDir,
                            {options.jobs, options.perHost, options.delayMs, options.giveUpAfter});
    batch.setRules(setup.rules.get());
    batch.setOnlyRows(setup.selection.onlyRows());
    batch.setArchive(setup.archive.get());
    ResultPrinter printer{options, setup.store.get(), setup.archive.get(), setup.selection.plans, progress, status};
    const auto printResult = [&printer](const yz::cli::DomainResult &finished) { printer.print(finished); };

    yz::cli::InterruptWatch interrupted;
    tellAboutHosts(batch, progress, setup.proxy, interrupted);

    QEventLoop loop;
    QObject::connect(&batch, &yz::cli::BatchRun::finished, &loop, &QEventLoop::quit);
    QObject::connect(&batch, &yz::cli::BatchRun::progressed, &loop, [&] { progress.show(batch.state()); });
    QTimer ticker; // the time left and the slowest host change between results too
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] { progress.show(batch.state(), true); });
    if (progress.enabled())
        ticker.start(250);
    batch.start(printResult);
    loop.exec();
    progress.clear();
    yz::cli::writeText(stderr, yz::cli::Progress::hostSummary(batch.gate().summary()));
    QString error;
    if (setup.archive && !setup.archive->writeIndex(&error)) {
        yz::cli::writeText(stderr, error + u'\n');
        status = kExitFailed;
    }
    return status;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("yanzhou-cli"));

    const QStringList arguments = QCoreApplication::arguments().mid(1);
    for (const Word &word : kWords)
        if (arguments.mid(0, word.words.size()) == word.words)
            return word.run(arguments.mid(word.words.size()), stdout, stderr);
    const yz::cli::ParsedOptions parsed = yz::cli::parseCliOptions(arguments);
    if (!parsed.error.isEmpty())
        return usageError(parsed.error);
    const yz::cli::CliOptions &options = parsed.options;
    if (options.help) {
        yz::cli::writeText(stdout, yz::cli::usageText(programName()));
        return yz::cli::kExitOk;
    }
    if (options.version) {
        yz::cli::writeText(stdout, QStringLiteral("%1 %2\n").arg(programName()).arg(yz::kProgramVersion));
        return yz::cli::kExitOk;
    }

    if (options.printRules) {
        yz::cli::writeBytes(stdout, yz::builtInRulesJson());
        return yz::cli::kExitOk;
    }

    return runQueries(options);
}
