#include "parsers/PublishedRules.h"

#include "parsers/RulesFile.h"

#include <sodium.h>

namespace yz {
namespace {

constexpr char kMagic[] = "yanzhou-rules 1";

// libsodium is set up once, before its first use; it is safe to call again.
bool sodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

QByteArray header(const PublishedRules &r)
{
    return QByteArray(kMagic) + "\nversion " + QByteArray::number(r.version) + "\npublished "
            + r.published.toUTC().toString(Qt::ISODate).toLatin1() + '\n';
}

// One "name value" header line starting at `at`; moves `at` past it.
std::optional<QByteArray> headerLine(const QByteArray &bytes, qsizetype &at, const QByteArray &name)
{
    const qsizetype end = bytes.indexOf('\n', at);
    if (end < 0)
        return std::nullopt;
    const QByteArray line = bytes.mid(at, end - at);
    at = end + 1;
    if (!line.startsWith(name + ' '))
        return std::nullopt;
    return line.mid(name.size() + 1);
}

} // namespace

QByteArray PublishedRules::signedBytes() const
{
    return header(*this) + '\n' + content;
}

QByteArray PublishedRules::encoded() const
{
    return header(*this) + "signature " + signature.toBase64() + "\n\n" + content;
}

QString PublishedRules::describe() const
{
    return QStringLiteral("%1（%2 发布）")
            .arg(version)
            .arg(published.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'")));
}

QByteArray servedVersion(const QByteArray &served)
{
    const QByteArray magic = QByteArray(kMagic) + '\n';
    if (!served.startsWith(magic))
        return {};
    qsizetype at = magic.size();
    return headerLine(served, at, "version").value_or(QByteArray());
}

std::optional<PublishedRules> decodePublishedRules(const QByteArray &bytes, QString *error)
{
    const auto fail = [error](const QString &why) -> std::optional<PublishedRules> {
        *error = why;
        return std::nullopt;
    };
    if (bytes.size() > kMaxPublishedRules)
        return fail(QStringLiteral("规则文件过大（%1 字节）").arg(bytes.size()));
    const QByteArray magic = QByteArray(kMagic) + '\n';
    if (!bytes.startsWith(magic))
        return fail(QStringLiteral("不是发布的规则文件"));
    qsizetype at = magic.size();
    PublishedRules r;
    const std::optional<QByteArray> version = headerLine(bytes, at, "version");
    const std::optional<QByteArray> published = version ? headerLine(bytes, at, "published") : std::nullopt;
    const std::optional<QByteArray> signature = published ? headerLine(bytes, at, "signature") : std::nullopt;
    if (!signature || !bytes.mid(at).startsWith('\n'))
        return fail(QStringLiteral("规则文件的头部不完整"));
    bool ok = false;
    r.version = version->toLongLong(&ok);
    if (!ok || r.version < 1 || *version != QByteArray::number(r.version))
        return fail(QStringLiteral("版本号无效"));
    r.published = QDateTime::fromString(QString::fromLatin1(*published), Qt::ISODate);
    if (!r.published.isValid())
        return fail(QStringLiteral("发布时间无效"));
    const auto decoded = QByteArray::fromBase64Encoding(*signature, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != crypto_sign_BYTES)
        return fail(QStringLiteral("签名格式无效"));
    r.signature = decoded.decoded;
    r.content = bytes.mid(at + 1);
    return r;
}

bool checkRulesContent(const QByteArray &content, QString *error)
{
    ScrapeRules rules;
    return applyRules(content, rules, error);
}

bool verifyPublishedRules(const PublishedRules &rules, const QByteArray &publicKey, QString *error)
{
    if (publicKey.size() != crypto_sign_PUBLICKEYBYTES) {
        *error = QStringLiteral("本程序没有内置发布规则的公钥，不接受发布的规则");
        return false;
    }
    const QByteArray message = rules.signedBytes();
    if (!sodiumReady() || rules.signature.size() != crypto_sign_BYTES
        || crypto_sign_verify_detached(reinterpret_cast<const unsigned char *>(rules.signature.constData()),
                                       reinterpret_cast<const unsigned char *>(message.constData()),
                                       quint64(message.size()),
                                       reinterpret_cast<const unsigned char *>(publicKey.constData()))
                != 0) {
        *error = QStringLiteral("签名无效（文件被改动，或不是由发布者的密钥签名）");
        return false;
    }
    QString why;
    if (!checkRulesContent(rules.content, &why)) {
        *error = QStringLiteral("规则未通过检查：") + why;
        return false;
    }
    return true;
}

SigningKeys generateSigningKeys()
{
    SigningKeys keys;
    keys.publicKey.resize(crypto_sign_PUBLICKEYBYTES);
    keys.secretKey.resize(crypto_sign_SECRETKEYBYTES);
    if (sodiumReady())
        crypto_sign_keypair(reinterpret_cast<unsigned char *>(keys.publicKey.data()),
                            reinterpret_cast<unsigned char *>(keys.secretKey.data()));
    return keys;
}

void signPublishedRules(PublishedRules &rules, const QByteArray &secretKey)
{
    rules.signature.resize(crypto_sign_BYTES);
    const QByteArray message = rules.signedBytes();
    if (sodiumReady() && secretKey.size() == crypto_sign_SECRETKEYBYTES)
        crypto_sign_detached(reinterpret_cast<unsigned char *>(rules.signature.data()), nullptr,
                             reinterpret_cast<const unsigned char *>(message.constData()), quint64(message.size()),
                             reinterpret_cast<const unsigned char *>(secretKey.constData()));
}

QByteArray decodeKey(const QByteArray &base64, qsizetype size)
{
    const auto decoded = QByteArray::fromBase64Encoding(base64.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    return decoded && decoded.decoded.size() == size ? decoded.decoded : QByteArray();
}

} // namespace yz
