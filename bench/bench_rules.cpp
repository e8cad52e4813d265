// Published rules: what checking a published file costs a client, and how
// long a publish takes to reach a client that updates.
#include "parsers/PublishedRules.h"
#include "parsers/RulesFile.h"
#include "tests/support/ServerUnderTest.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// Microseconds per call, the best of a few batches.
double microsecondsPer(int calls, const std::function<void()> &call)
{
    double best = 1e300;
    for (int batch = 0; batch < 5; ++batch) {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < calls; ++i)
            call();
        best = std::min(best, double(t.nsecsElapsed()) / 1000.0 / calls);
    }
    return best;
}

yztest::CommandResult runCli(const QStringList &args)
{
    QProcess process;
    process.start(QStringLiteral(YZ_CLI), args);
    process.waitForFinished(60000);
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());

    // The built-in rules written out: the size a real published file has.
    const yz::SigningKeys keys = yz::generateSigningKeys();
    yz::PublishedRules rules;
    rules.version = 1;
    rules.published = QDateTime::currentDateTimeUtc();
    rules.content = yz::builtInRulesJson();
    yz::signPublishedRules(rules, keys.secretKey);
    const QByteArray served = rules.encoded();
    QString error;
    const double decodeAndVerify = microsecondsPer(200, [&] {
        const auto decoded = yz::decodePublishedRules(served, &error);
        (void)yz::verifyPublishedRules(*decoded, keys.publicKey, &error);
    });
    // The signature alone: the same size of content, rules that take no checking.
    yz::PublishedRules empty = rules;
    empty.content = "{}" + QByteArray(rules.content.size() - 2, ' ');
    yz::signPublishedRules(empty, keys.secretKey);
    const double signatureOnly =
            microsecondsPer(2000, [&] { (void)yz::verifyPublishedRules(empty, keys.publicKey, &error); });
    std::printf("published rules (%lld bytes, the built-in rules written out)\n", qint64(served.size()));
    std::printf("  decode, verify the signature and check the rules   %8.1f us\n", decodeAndVerify);
    std::printf("  the Ed25519 signature alone                        %8.1f us\n", signatureOnly);

    // From the moment `rules publish` returns to a client holding the rules.
    const QString db = dir.filePath(QStringLiteral("bench.sqlite"));
    yztest::ServingProcess server(db);
    const QString key = dir.filePath(QStringLiteral("vendor.key"));
    const yztest::CommandResult keygen = yztest::serverCommand(db, {"rules", "keygen", "--out", key});
    const QString endpoints = dir.filePath(QStringLiteral("endpoints.json"));
    QFile file(endpoints);
    if (!server.started() || keygen.status != 0 || !file.open(QIODevice::WriteOnly))
        return 1;
    file.write(QJsonDocument(QJsonObject{{QStringLiteral("vendor"), server.base()},
                                         {QStringLiteral("vendor-key"), QString::fromLatin1(keygen.out.trimmed())}})
                       .toJson());
    file.close();
    const QString rulesFile = dir.filePath(QStringLiteral("rules.json"));
    QFile out(rulesFile);
    if (!out.open(QIODevice::WriteOnly))
        return 1;
    out.write(yz::builtInRulesJson());
    out.close();
    if (yztest::serverCommand(db, {"rules", "publish", rulesFile, "--key", key}).status != 0)
        return 1;
    QElapsedTimer sincePublish;
    sincePublish.start();
    int tries = 0;
    qint64 lastUpdateMs = 0;
    for (; tries < 100; ++tries) {
        QElapsedTimer one;
        one.start();
        const yztest::CommandResult r = runCli({"rules", "update", "--endpoints", endpoints});
        lastUpdateMs = one.elapsed();
        if (r.status == 0)
            break;
    }
    std::printf("  publish to a client holding the rules              %8lld ms (%d update run(s); the last took "
                "%lld ms, process start included)\n",
                sincePublish.elapsed(), tries + 1, lastUpdateMs);
    return 0;
}
