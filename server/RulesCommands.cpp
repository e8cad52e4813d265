#include "server/RulesCommands.h"

#include "net/BoundedRead.h"
#include "net/PrintableText.h"
#include "parsers/TrustedKeys.h"
#include "server/CommandSupport.h"
#include "server/Commands.h"
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

int rulesKeygen(const Invocation &call)
{
    QCommandLineParser parser;
    const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("key file to write"), QStringLiteral("FILE"));
    parser.addOption(out);
    int status = kExitOk;
    if (!parseArguments(parser, call, 0, &status))
        return status;
    if (!parser.isSet(out))
        return usage(QStringLiteral("rules keygen --out KEYFILE"));
    const SigningKeys keys = generateSigningKeys();
    const QByteArray path = QFile::encodeName(parser.value(out));
    // Created readable by its owner alone, and never over an existing file.
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return failure(QStringLiteral("cannot create %1: %2")
                               .arg(printable(parser.value(out)), QString::fromLocal8Bit(std::strerror(errno))));
    const QByteArray text = "secret " + keys.secretKey.toBase64() + "\npublic " + keys.publicKey.toBase64() + '\n';
    const bool written = ::write(fd, text.constData(), size_t(text.size())) == text.size();
    if (::close(fd) != 0 || !written)
        return failure(QStringLiteral("cannot write %1").arg(printable(parser.value(out))));
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
// rules up, and the secret key; false with the reason.
bool readRulesToSign(const QString &file, const QString &keyFile, PublishedRules *rules, QByteArray *secret,
                     QString *error)
{
    if (!readSmallFile(file, 1024 * 1024, QStringLiteral("rules file"), &rules->content, error))
        return false;
    if (!checkRulesContent(rules->content, error)) {
        *error = QStringLiteral("%1: %2").arg(printable(file), printable(*error));
        return false;
    }
    *secret = readSecretKey(keyFile, error);
    if (secret->isEmpty()) {
        *error = printable(*error);
        return false;
    }
    return true;
}

} // namespace

int rulesPublish(const Invocation &call)
{
    QCommandLineParser parser;
    const QCommandLineOption key(QStringLiteral("key"), QStringLiteral("key file from rules keygen"),
                                 QStringLiteral("KEYFILE"));
    parser.addOption(key);
    int status = kExitOk;
    if (!parseArguments(parser, call, 1, &status))
        return status;
    if (!parser.isSet(key))
        return usage(QStringLiteral("rules publish FILE --key KEYFILE"));
    QString error;
    PublishedRules rules;
    QByteArray secret;
    if (!readRulesToSign(parser.positionalArguments().first(), parser.value(key), &rules, &secret, &error))
        return usage(error);
    auto database = openDatabase(parser, OpenFor::Writing, &status);
    if (!database)
        return status;
    RulesStore store(*database);
    const std::optional<qint64> version = store.nextVersion();
    if (!version)
        return failure(store.lastError());
    rules.version = *version;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    rules.published = now.addMSecs(-now.time().msec());
    signPublishedRules(rules, secret);
    if (!verifyPublishedRules(rules, secret.right(kPublicKeySize), &error))
        return failure(error);
    if (!store.publish(rules))
        return failure(store.lastError());
    write(stdout, QStringLiteral("published version %1\n").arg(rules.version));
    return kExitOk;
}

int rulesSign(const Invocation &call)
{
    QCommandLineParser parser;
    const QCommandLineOption key(QStringLiteral("key"), QStringLiteral("key file from rules keygen"),
                                 QStringLiteral("KEYFILE"));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("the version to give (from 1)"),
                                     QStringLiteral("N"));
    const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("signed file to write"),
                                 QStringLiteral("SIGNED"));
    parser.addOptions({key, version, out});
    int status = kExitOk;
    if (!parseArguments(parser, call, 1, &status))
        return status;
    bool numeric = false;
    PublishedRules rules;
    rules.version = parser.value(version).toLongLong(&numeric);
    if (!parser.isSet(key) || !parser.isSet(out) || !numeric || rules.version < 1)
        return usage(QStringLiteral("rules sign FILE --key KEYFILE --version N --out SIGNED (N from 1)"));
    QString error;
    QByteArray secret;
    if (!readRulesToSign(parser.positionalArguments().first(), parser.value(key), &rules, &secret, &error))
        return usage(error);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    rules.published = now.addMSecs(-now.time().msec());
    signPublishedRules(rules, secret);
    QSaveFile signedFile(parser.value(out));
    const QByteArray served = rules.encoded();
    if (!signedFile.open(QIODevice::WriteOnly) || signedFile.write(served) != served.size() || !signedFile.commit())
        return failure(
                QStringLiteral("cannot write %1: %2").arg(printable(parser.value(out)), signedFile.errorString()));
    write(stdout, QStringLiteral("signed version %1\n").arg(rules.version));
    return kExitOk;
}

int rulesImport(const Invocation &call)
{
    QCommandLineParser parser;
    int status = kExitOk;
    if (!parseArguments(parser, call, 1, &status))
        return status;
    QString error;
    QByteArray served;
    const QString file = parser.positionalArguments().first();
    if (!readSmallFile(file, kMaxPublishedRules, QStringLiteral("signed rules file"), &served, &error))
        return usage(error);
    std::optional<PublishedRules> rules = decodePublishedRules(served, &error);
    if (!rules)
        return usage(QStringLiteral("%1: %2").arg(printable(file), printable(error)));
    // The same keys the clients trust, and the same checks they make.
    const TrustedKeys keys = trustedRulesKeys(ServiceHosts().rulesKey());
    const bool trusted = std::any_of(keys.cbegin(), keys.cend(),
                                     [&](const TrustedKey &k) { return verifyPublishedRules(*rules, k.key, &error); });
    if (!trusted)
        return usage(QStringLiteral("%1: not signed by a trusted key (%2 trusted): %3")
                             .arg(printable(file))
                             .arg(keys.size())
                             .arg(printable(error)));
    if (!checkRulesContent(rules->content, &error))
        return usage(QStringLiteral("%1: %2").arg(printable(file), printable(error)));
    auto database = openDatabase(parser, OpenFor::Writing, &status);
    if (!database)
        return status;
    RulesStore store(*database);
    const std::optional<qint64> next = store.nextVersion();
    if (!next)
        return failure(store.lastError());
    if (rules->version < *next)
        return usage(QStringLiteral("%1: version %2 is not newer than the newest served, %3")
                             .arg(printable(file))
                             .arg(rules->version)
                             .arg(*next - 1));
    if (!store.publish(*rules))
        return failure(store.lastError());
    write(stdout, QStringLiteral("imported version %1\n").arg(rules->version));
    return kExitOk;
}

int rulesList(const Invocation &call)
{
    QCommandLineParser parser;
    int status = kExitOk;
    if (!parseArguments(parser, call, 0, &status))
        return status;
    auto database = openDatabase(parser, OpenFor::Reading, &status);
    if (!database)
        return status;
    RulesStore store(*database);
    const auto all = store.list();
    if (!all)
        return failure(store.lastError());
    for (const PublishedRules &r : *all)
        write(stdout,
              QStringLiteral("%1\t%2\t%3 bytes\n")
                      .arg(r.version)
                      .arg(r.published.toUTC().toString(Qt::ISODate))
                      .arg(r.content.size()));
    return kExitOk;
}

int rulesShow(const Invocation &call)
{
    QCommandLineParser parser;
    int status = kExitOk;
    if (!parseArguments(parser, call, 0, 1, &status))
        return status;
    std::optional<qint64> version;
    qint64 n = 0;
    if (!parser.positionalArguments().isEmpty()) {
        if (!parseInteger(parser.positionalArguments().first(), 1, std::numeric_limits<qint64>::max(), &n))
            return usage(QStringLiteral("rules show [N]: N is a version number"));
        version = n;
    }
    auto database = openDatabase(parser, OpenFor::Reading, &status);
    if (!database)
        return status;
    RulesStore store(*database);
    const std::optional<QByteArray> served = store.served(version);
    if (!served)
        return failure(store.lastError());
    QString error;
    const std::optional<PublishedRules> rules = decodePublishedRules(*served, &error);
    if (!rules)
        return failure(served->isEmpty() ? QStringLiteral("no such version published") : error);
    write(stdout, QString::fromUtf8(rules->content));
    return kExitOk;
}

int rulesHealth(const Invocation &call)
{
    QCommandLineParser parser;
    const QCommandLineOption hours(QStringLiteral("hours"), QStringLiteral("period looked at"), QStringLiteral("H"),
                                   QStringLiteral("24"));
    parser.addOption(hours);
    int status = kExitOk;
    if (!parseArguments(parser, call, 0, &status))
        return status;
    qint64 h = 0;
    if (!parseInteger(parser.value(hours), 1, 24 * 366, &h))
        return usage(QStringLiteral("--hours wants a whole number from 1"));
    auto database = openDatabase(parser, OpenFor::Reading, &status);
    if (!database)
        return status;
    RulesStore store(*database);
    const auto all = store.health(QDateTime::currentDateTimeUtc().addSecs(-h * 3600), BrokenRuleTest());
    if (!all)
        return failure(store.lastError());
    write(stdout, QStringLiteral("rule\tanswers\tunrecognised\trefused\tlast value\tread at\tstate\n"));
    for (const RuleHealth &r : *all)
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
