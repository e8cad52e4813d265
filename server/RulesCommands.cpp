#include "server/RulesCommands.h"

#include "net/BoundedRead.h"
#include "net/PrintableText.h"
#include "parsers/TrustedKeys.h"
#include "server/CommandSupport.h"
#include "server/RulesStore.h"
#include "services/ServiceHosts.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <unistd.h>

namespace yz::server {
namespace {

constexpr qsizetype kPublicKeySize = 32;
constexpr qsizetype kSecretKeySize = 64;

// The secret key of a key file written by keygen; empty with the reason.
QByteArray readSecretKey(const QString &path, QString *error);

} // namespace

void declareRulesKeygen(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("out"), QStringLiteral("key file to write"), QStringLiteral("FILE")});
}

int rulesKeygen(CommandCall &call)
{
    if (!call.isSet("out"))
        refuse(QStringLiteral("rules keygen --out KEYFILE"));
    const QString out = call.value("out");
    const SigningKeys keys = generateSigningKeys();
    const QByteArray path = QFile::encodeName(out);
    // Created readable by its owner alone, and never over an existing file.
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        fail(QStringLiteral("cannot create %1: %2").arg(printable(out), QString::fromLocal8Bit(std::strerror(errno))));
    const QByteArray text = "secret " + keys.secretKey.toBase64() + "\npublic " + keys.publicKey.toBase64() + '\n';
    const bool written = ::write(fd, text.constData(), size_t(text.size())) == text.size();
    if (::close(fd) != 0 || !written)
        fail(QStringLiteral("cannot write %1").arg(printable(out)));
    write(stdout, QString::fromLatin1(keys.publicKey.toBase64()) + u'\n');
    // The public half goes where clients and servers look for trusted keys.
    write(stderr,
          QStringLiteral("public key above: save it as NAME.pub under /etc/yanzhou/rules-keys/ (or give it to "
                         "yanzhou-cli rules trust); keep the key file itself offline\n"));
    return kExitOk;
}

namespace {

QByteArray readSecretKey(const QString &path, QString *error)
{
    QByteArray bytes;
    if (!readSmallFile(path, 4096, QStringLiteral("key file"), &bytes, error))
        return {};
    for (const QByteArray &line : bytes.split('\n'))
        if (line.startsWith("secret "))
            if (const QByteArray key = decodeKey(line.mid(7), kSecretKeySize); !key.isEmpty())
                return key;
    *error = QStringLiteral("%1 holds no secret key (write one with rules keygen)").arg(path);
    return {};
}

// A rules file to sign, checked as the clients check it before they take
// rules up, and the secret key; refused with the reason.
QByteArray readRulesToSign(const QString &file, const QString &keyFile, PublishedRules *rules)
{
    QString error;
    if (!readSmallFile(file, 1024 * 1024, QStringLiteral("rules file"), &rules->content, &error))
        refuse(error);
    if (!checkRulesContent(rules->content, &error))
        refuse(QStringLiteral("%1: %2").arg(printable(file), printable(error)));
    const QByteArray secret = readSecretKey(keyFile, &error);
    if (secret.isEmpty())
        refuse(printable(error));
    return secret;
}

// Signs the rules as of now, to the second.
void signNow(PublishedRules &rules, const QByteArray &secret)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    rules.published = now.addMSecs(-now.time().msec());
    signPublishedRules(rules, secret);
}

QCommandLineOption keyOption()
{
    return {QStringLiteral("key"), QStringLiteral("key file from rules keygen"), QStringLiteral("KEYFILE")};
}

} // namespace

void declareRulesPublish(QCommandLineParser &parser)
{
    parser.addOption(keyOption());
}

int rulesPublish(CommandCall &call)
{
    if (!call.isSet("key"))
        refuse(QStringLiteral("rules publish FILE --key KEYFILE"));
    PublishedRules rules;
    const QByteArray secret = readRulesToSign(call.arguments.first(), call.value("key"), &rules);
    RulesStore store(call.database());
    rules.version = answerOf(store.nextVersion(), store);
    signNow(rules, secret);
    QString error;
    if (!verifyPublishedRules(rules, secret.right(kPublicKeySize), &error))
        fail(error);
    succeeded(store.publish(rules), store);
    write(stdout, QStringLiteral("published version %1\n").arg(rules.version));
    return kExitOk;
}

void declareRulesSign(QCommandLineParser &parser)
{
    parser.addOptions({keyOption(),
                       {QStringLiteral("version"), QStringLiteral("the version to give (from 1)"), QStringLiteral("N")},
                       {QStringLiteral("out"), QStringLiteral("signed file to write"), QStringLiteral("SIGNED")}});
}

int rulesSign(CommandCall &call)
{
    bool numeric = false;
    PublishedRules rules;
    rules.version = call.value("version").toLongLong(&numeric);
    if (!call.isSet("key") || !call.isSet("out") || !numeric || rules.version < 1)
        refuse(QStringLiteral("rules sign FILE --key KEYFILE --version N --out SIGNED (N from 1)"));
    const QByteArray secret = readRulesToSign(call.arguments.first(), call.value("key"), &rules);
    signNow(rules, secret);
    const QString out = call.value("out");
    QSaveFile signedFile(out);
    const QByteArray served = rules.encoded();
    if (!signedFile.open(QIODevice::WriteOnly) || signedFile.write(served) != served.size() || !signedFile.commit())
        fail(QStringLiteral("cannot write %1: %2").arg(printable(out), signedFile.errorString()));
    write(stdout, QStringLiteral("signed version %1\n").arg(rules.version));
    return kExitOk;
}

int rulesImport(CommandCall &call)
{
    QString error;
    QByteArray served;
    const QString file = call.arguments.first();
    if (!readSmallFile(file, kMaxPublishedRules, QStringLiteral("signed rules file"), &served, &error))
        refuse(error);
    std::optional<PublishedRules> rules = decodePublishedRules(served, &error);
    if (!rules)
        refuse(QStringLiteral("%1: %2").arg(printable(file), printable(error)));
    // The same keys the clients trust, and the same checks they make.
    const TrustedKeys keys = trustedRulesKeys(ServiceHosts().rulesKey());
    const bool trusted = std::any_of(keys.cbegin(), keys.cend(),
                                     [&](const TrustedKey &k) { return verifyPublishedRules(*rules, k.key, &error); });
    if (!trusted)
        refuse(QStringLiteral("%1: not signed by a trusted key (%2 trusted): %3")
                       .arg(printable(file))
                       .arg(keys.size())
                       .arg(printable(error)));
    if (!checkRulesContent(rules->content, &error))
        refuse(QStringLiteral("%1: %2").arg(printable(file), printable(error)));
    RulesStore store(call.database());
    const qint64 next = answerOf(store.nextVersion(), store);
    if (rules->version < next)
        refuse(QStringLiteral("%1: version %2 is not newer than the newest served, %3")
                       .arg(printable(file))
                       .arg(rules->version)
                       .arg(next - 1));
    succeeded(store.publish(*rules), store);
    write(stdout, QStringLiteral("imported version %1\n").arg(rules->version));
    return kExitOk;
}

int rulesList(CommandCall &call)
{
    RulesStore store(call.database());
    for (const PublishedRules &r : answerOf(store.list(), store))
        write(stdout,
              QStringLiteral("%1\t%2\t%3 bytes\n")
                      .arg(r.version)
                      .arg(r.published.toUTC().toString(Qt::ISODate))
                      .arg(r.content.size()));
    return kExitOk;
}

int rulesShow(CommandCall &call)
{
    std::optional<qint64> version;
    if (!call.arguments.isEmpty())
        version = integerArgument(call.arguments.first(), 1, std::numeric_limits<qint64>::max(),
                                  QStringLiteral("rules show [N]: N is a version number"));
    RulesStore store(call.database());
    const QByteArray served = answerOf(store.served(version), store);
    QString error;
    const std::optional<PublishedRules> rules = decodePublishedRules(served, &error);
    if (!rules)
        fail(served.isEmpty() ? QStringLiteral("no such version published") : error);
    write(stdout, QString::fromUtf8(rules->content));
    return kExitOk;
}

void declareRulesHealth(QCommandLineParser &parser)
{
    parser.addOption(
            {QStringLiteral("hours"), QStringLiteral("period looked at"), QStringLiteral("H"), QStringLiteral("24")});
}

int rulesHealth(CommandCall &call)
{
    const qint64 h =
            integerArgument(call.value("hours"), 1, 24 * 366, QStringLiteral("--hours wants a whole number from 1"));
    RulesStore store(call.database());
    const auto all =
            answerOf(store.health(QDateTime::currentDateTimeUtc().addSecs(-h * 3600), BrokenRuleTest()), store);
    write(stdout, QStringLiteral("rule\tanswers\tunrecognised\trefused\tlast value\tread at\tstate\n"));
    for (const RuleHealth &r : all)
        write(stdout,
              QStringLiteral("%1\t%2\t%3%\t%4\t%5\t%6\t%7\n")
                      .arg(printable(r.rule))
                      .arg(r.answers)
                      .arg(r.answers ? 100 * r.unrecognised / r.answers : 0)
                      .arg(r.refused)
                      .arg(r.lastValue.isEmpty() ? QStringLiteral("-") : printable(r.lastValue))
                      .arg(r.lastRead.isValid() ? r.lastRead.toUTC().toString(Qt::ISODate) : QStringLiteral("-"))
                      .arg(r.broken ? QStringLiteral("BROKEN, e.g. ") + printable(r.example) : QStringLiteral("ok")));
    return kExitOk;
}

} // namespace yz::server
