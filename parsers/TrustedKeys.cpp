#include "parsers/TrustedKeys.h"

#include "net/BoundedRead.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace yz {
namespace {

constexpr qint64 kMaxKeyFile = 4096;
constexpr int kKeyBytes = 32;

} // namespace

QString userRulesKeyDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
            + QStringLiteral("/yanzhou/rules-keys");
}

QStringList rulesKeyDirectories()
{
    return {QStringLiteral("/usr/share/yanzhou/rules-keys"), QStringLiteral("/etc/yanzhou/rules-keys"),
            userRulesKeyDirectory()};
}

std::optional<QByteArray> readPublicKeyFile(const QString &path, QString *error)
{
    QByteArray bytes;
    if (!readSmallFile(path, kMaxKeyFile, QStringLiteral("公钥文件"), &bytes, error))
        return std::nullopt;
    for (QByteArray line : bytes.split('\n')) {
        line = line.trimmed();
        if (line.startsWith("public "))
            line = line.mid(7).trimmed();
        else if (line.isEmpty() || line.contains(' '))
            continue; // a secret line, or anything else
        const auto decoded = QByteArray::fromBase64Encoding(line, QByteArray::AbortOnBase64DecodingErrors);
        if (decoded && decoded.decoded.size() == kKeyBytes)
            return decoded.decoded;
    }
    *error = QStringLiteral("%1 不是发布规则的公钥（应为一行 32 字节的 base64）").arg(path);
    return std::nullopt;
}

TrustedKeys trustedRulesKeys(const QByteArray &builtIn)
{
    TrustedKeys keys;
    if (!builtIn.isEmpty())
        keys.append({QStringLiteral("内置公钥"), builtIn});
    for (const QString &directory : rulesKeyDirectories()) {
        const QDir dir(directory);
        for (const QString &file : dir.entryList({QStringLiteral("*.pub")}, QDir::Files | QDir::Readable, QDir::Name)) {
            QString ignored;
            const QString path = dir.filePath(file);
            if (const std::optional<QByteArray> key = readPublicKeyFile(path, &ignored))
                keys.append({path, *key});
        }
    }
    return keys;
}

bool trustRulesKey(const QString &path, QString *installed, QString *error)
{
    const std::optional<QByteArray> key = readPublicKeyFile(path, error);
    if (!key)
        return false;
    QString name = QFileInfo(path).completeBaseName();
    if (name.isEmpty())
        name = QStringLiteral("key");
    *installed = QDir(userRulesKeyDirectory()).filePath(name + QStringLiteral(".pub"));
    QDir().mkpath(userRulesKeyDirectory());
    QSaveFile file(*installed);
    const QByteArray text = key->toBase64() + '\n';
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit())
        return true;
    *error = QStringLiteral("无法写入 %1：%2").arg(*installed, file.errorString());
    return false;
}

} // namespace yz
