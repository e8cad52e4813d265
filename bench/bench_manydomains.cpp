// yanzhou-cli over many domains against fake services that answer after a
// fixed time: wall time against the bound the per-host limit sets, the
// speed-up over one domain at a time, and the peak memory with ten times the
// domains (it must not grow with the domains already printed).
#include "services/ServiceHosts.h"
#include "tests/support/FakeServices.h"
#include "tests/support/SamplePages.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using yz::Service;

namespace {

struct Outcome {
    double seconds = 0;
    qint64 peakKiB = 0;
    int lines = 0;
    int unreadValues = 0; // cells that did not read the page's count
    int exitCode = -1;
};

// Every count engine answers its own page stating 5, after `delayMs`.
void serveCounts(yztest::FakeServices &services, int delayMs)
{
    const struct {
        Service service;
        QByteArray page;
    } pages[] = {
            {Service::Baidu, yztest::gbk(QStringLiteral("找到相关网页约5篇"))},
            {Service::Google, yztest::gbk(QStringLiteral("约 <b>5</b> 个"))},
            {Service::Yahoo, QByteArray("共 <strong>5</strong>")},
            {Service::Sogou, QByteArray("<!--resultbarnum:5-->")},
            {Service::Youdao, QByteArray("共约5条")},
            {Service::Soso, yztest::gbk(QStringLiteral("搜索到约5项结果"))},
    };
    for (const auto &p : pages) {
        yztest::FakeResponse response = yztest::ok(p.page);
        response.delayMs = delayMs;
        services[p.service].setResponse(response);
    }
}

// The peak resident size of a running process so far, in KiB.
qint64 peakKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

// Every service answers after `delayMs`: the counts as above, the vendor's
// PageRank chain with its second address, and a plain page elsewhere.
void serveEverything(yztest::FakeServices &services, int delayMs)
{
    serveCounts(services, delayMs);
    for (const Service other : {Service::Alexa, Service::Whois, Service::Archive, Service::Cnzz, Service::La51}) {
        yztest::FakeResponse response = yztest::ok("<html>5</html>");
        response.delayMs = delayMs;
        services[other].setResponse(response);
    }
    const QByteArray rankPage = services[Service::Vendor].base().toUtf8() + "/pr/?dm=x";
    services[Service::Vendor].setScript([rankPage, delayMs](const yztest::RecordedRequest &request) {
        yztest::FakeResponse response =
                yztest::ok(request.target.startsWith("/api/PRURL.php") ? rankPage : QByteArray("Rank_1:1:5\n"));
        response.delayMs = delayMs;
        return response;
    });
}

Outcome runCli(const QString &endpoints, int domains, const QStringList &limits,
               const QStringList &groups = {QStringLiteral("--common")})
{
    QByteArray list;
    for (int i = 0; i < domains; ++i)
        list += "d" + QByteArray::number(i) + ".example\n";
    QProcess cli;
    cli.setProcessChannelMode(QProcess::SeparateChannels);
    Outcome outcome;
    QByteArray out;
    QObject::connect(&cli, &QProcess::readyReadStandardOutput, [&] { out += cli.readAllStandardOutput(); });
    QEventLoop loop;
    QObject::connect(&cli, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout,
                     [&] { outcome.peakKiB = std::max(outcome.peakKiB, peakKiB(cli.processId())); });
    QElapsedTimer clock;
    clock.start();
    cli.start(QStringLiteral(YZ_CLI),
              groups + QStringList{"--json", "--endpoints", endpoints, "--input", "-"} + limits);
    cli.waitForStarted();
    cli.write(list);
    cli.closeWriteChannel();
    sampler.start(20);
    loop.exec();
    outcome.seconds = clock.nsecsElapsed() / 1e9;
    outcome.exitCode = cli.exitCode();
    out += cli.readAllStandardOutput();
    for (const QByteArray &line : out.split('\n')) {
        if (line.isEmpty())
            continue;
        ++outcome.lines;
        const QJsonObject tb1 = QJsonDocument::fromJson(line).object().value(QStringLiteral("tb1")).toObject();
        for (const QString &row : {QStringLiteral("收录"), QStringLiteral("外链")})
            for (const QString &engine : {QStringLiteral("Baidu"), QStringLiteral("Google"), QStringLiteral("Yahoo"),
                                          QStringLiteral("Sogou"), QStringLiteral("Youdao")})
                if (tb1.value(row).toObject().value(engine).toString() != u"5")
                    ++outcome.unreadValues;
    }
    return outcome;
}

void report(const char *what, int domains, const Outcome &o)
{
    std::printf("  %-34s %5d domains  %7.2f s  peak %6.1f MiB  lines %d  unread %d  exit %d\n", what, domains,
                o.seconds, double(o.peakKiB) / 1024.0, o.lines, o.unreadValues, o.exitCode);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    constexpr int kDomains = 500;
    constexpr int kLatencyMs = 300;
    constexpr int kPerHost = 8;
    QTemporaryDir dir;

    // The defaults: one domain as fast as the window's press, whose bound is
    // the PageRank chain's two requests one after the other.
    std::printf("defaults, all groups (every service answering after %d ms)\n", kLatencyMs);
    yztest::FakeServices everything;
    serveEverything(everything, kLatencyMs);
    const QString allEndpoints = everything.writeEndpointsFile(dir.filePath(QStringLiteral("all.json")));
    double oneDomain = 1e9;
    for (int i = 0; i < 3; ++i)
        oneDomain = std::min(oneDomain, runCli(allEndpoints, 1, {}, {}).seconds);
    const double chain = 2 * kLatencyMs / 1000.0;
    std::printf("  one domain: best of 3 %.2f s; bound %.2f s; ratio %.3f (target <= 1.10)\n", oneDomain, chain,
                oneDomain / chain);
    const Outcome fifty = runCli(allEndpoints, 50, {}, {});
    report("fifty domains, defaults", 50, fifty);
    const Outcome fiftyOld = runCli(allEndpoints, 50, {"--per-host", "2"}, {});
    report("fifty domains, --per-host 2 (the old default)", 50, fiftyOld);
    // One engine refusing everything (Google's refusal page, after the same
    // latency): given up after three refusals in a row, it holds no other
    // host up. The bound is the same fifty domains with every host answering.
    yztest::FakeResponse refusal = yztest::ok(yztest::gbk(QStringLiteral("<html>发送自动查询</html>")));
    refusal.delayMs = kLatencyMs;
    everything[Service::Google].setResponse(refusal);
    const Outcome refused = runCli(allEndpoints, 50, {}, {});
    report("fifty domains, Google refusing", 50, refused);
    std::printf("  Google refusing / every host answering: %.3f (target <= 1.2)\n", refused.seconds / fifty.seconds);

    std::printf("many domains (yanzhou-cli --common, fake services answering after %d ms)\n", kLatencyMs);
    yztest::FakeServices slow;
    serveCounts(slow, kLatencyMs);
    const QString slowEndpoints = slow.writeEndpointsFile(dir.filePath(QStringLiteral("slow.json")));
    const Outcome parallel = runCli(slowEndpoints, kDomains, {"--jobs", "32", "--per-host", QString::number(kPerHost)});
    report("--jobs 32 --per-host 8", kDomains, parallel);
    // The busiest host's requests, kPerHost at a time, each taking the latency.
    int busiest = 0;
    for (int i = 0; i < yz::kServiceCount; ++i)
        busiest = std::max(busiest, int(slow[Service(i)].requests().size()));
    const double bound = double(busiest) / kPerHost * kLatencyMs / 1000.0;
    std::printf("  busiest host %d requests: bound %.2f s; wall / bound %.3f (target <= 1.15)\n", busiest, bound,
                parallel.seconds / bound);

    // One domain at a time with every request of a domain at once, as the
    // command line ran before it took many domains at once.
    const Outcome sequential = runCli(slowEndpoints, 100, {"--jobs", "1", "--per-host", "64"});
    report("--jobs 1 (one domain at a time)", 100, sequential);
    std::printf("  speed-up per domain %.1fx\n", (sequential.seconds / 100) / (parallel.seconds / kDomains));

    // Peak memory with ten times the domains, answers after 20 ms so the
    // long run stays short.
    yztest::FakeServices quick;
    serveCounts(quick, 20);
    const QString quickEndpoints = quick.writeEndpointsFile(dir.filePath(QStringLiteral("quick.json")));
    const Outcome small = runCli(quickEndpoints, kDomains, {"--jobs", "32", "--per-host", "8"});
    report("--jobs 32 --per-host 8 (20 ms)", kDomains, small);
    const Outcome large = runCli(quickEndpoints, 10 * kDomains, {"--jobs", "32", "--per-host", "8"});
    report("--jobs 32 --per-host 8 (20 ms)", 10 * kDomains, large);
    std::printf("  peak memory 5000 / 500 domains: %.2f (target: no growth, about 1)\n",
                double(large.peakKiB) / double(std::max<qint64>(1, small.peakKiB)));

    // The built-in rules given as a rules file (what --print-rules writes)
    // cost no more than the rules built in: each is the best of three runs.
    QProcess print;
    print.start(QStringLiteral(YZ_CLI), {QStringLiteral("--print-rules")});
    print.waitForFinished();
    const QString printed = dir.filePath(QStringLiteral("printed-rules.json"));
    QFile rulesFile(printed);
    if (rulesFile.open(QIODevice::WriteOnly))
        rulesFile.write(print.readAllStandardOutput());
    rulesFile.close();
    double builtIn = 1e9, fromFile = 1e9;
    for (int i = 0; i < 3; ++i) {
        builtIn = std::min(builtIn, runCli(quickEndpoints, kDomains, {"--jobs", "32", "--per-host", "8"}).seconds);
        const Outcome ruled = runCli(quickEndpoints, kDomains, {"--jobs", "32", "--per-host", "8", "--rules", printed});
        if (ruled.unreadValues != 0)
            std::printf("  --rules run misread %d values\n", ruled.unreadValues);
        fromFile = std::min(fromFile, ruled.seconds);
    }
    std::printf("  --rules (printed built-in rules) / built-in, 500 domains at 20 ms: %.2f s / %.2f s = %.3f "
                "(target <= 1.05)\n",
                fromFile, builtIn, fromFile / builtIn);
    return 0;
}
