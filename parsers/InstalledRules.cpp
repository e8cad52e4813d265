#include "parsers/InstalledRules.h"

#include "net/BoundedRead.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace yz {

InstalledRules::InstalledRules(TrustedKeys keys, QString path)
    : m_path(std::move(path))
    , m_keys(std::move(keys))
{
}

InstalledRules::InstalledRules(QByteArray publicKey, QString path)
    : m_path(std::move(path))
{
    if (!publicKey.isEmpty())
        m_keys.append({QStringLiteral("内置公钥"), std::move(publicKey)});
}

std::optional<QString> InstalledRules::signerOf(const PublishedRules &rules, QString *why) const
{
    for (const TrustedKey &key : m_keys) {
        if (verifyPublishedRules(rules, key.key, why))
            return key.name;
    }
    if (m_keys.size() > 1)
        *why = QStringLiteral("签名不属于任何受信任的公钥（%1 个）").arg(m_keys.size());
    return std::nullopt;
}

QString InstalledRules::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
            + QStringLiteral("/yanzhou/published-rules");
}

std::optional<PublishedRules> InstalledRules::current(QString *problem, QString *signer) const
{
    QString why;
    QByteArray bytes;
    std::optional<PublishedRules> rules;
    if (!canVerify() || !QFileInfo::exists(m_path))
        return std::nullopt;
    std::optional<QString> name;
    if (readSmallFile(m_path, kMaxPublishedRules, QStringLiteral("规则文件"), &bytes, &why)
        && (rules = decodePublishedRules(bytes, &why)) && (name = signerOf(*rules, &why))) {
        if (signer)
            *signer = *name;
        return rules;
    }
    if (problem)
        *problem = QStringLiteral("%1：%2").arg(m_path, why);
    return std::nullopt;
}

bool InstalledRules::install(const QByteArray &served, QString *message) const
{
    QString why;
    const std::optional<PublishedRules> rules = decodePublishedRules(served, &why);
    if (!rules || !signerOf(*rules, &why)) {
        *message = QStringLiteral("拒绝发布的规则：") + why;
        return false;
    }
    const std::optional<PublishedRules> installed = current();
    // An old file served again must not take back a fix: only newer versions.
    if (installed && rules->version <= installed->version) {
        *message = QStringLiteral("拒绝发布的规则：版本 %1 不比已安装的版本 %2 新")
                           .arg(rules->version)
                           .arg(installed->version);
        return false;
    }
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(served) != served.size() || !file.commit()) {
        *message = QStringLiteral("无法写入 %1：%2").arg(m_path, file.errorString());
        return false;
    }
    *message = QStringLiteral("已安装发布的规则：版本 %1").arg(rules->describe());
    return true;
}

bool loadRulesInForce(const QString &rulesFile, const InstalledRules &installed, ScrapeRules &rules, QString *source,
                      QString *error)
{
    if (!rulesFile.isEmpty()) {
        *source = QStringLiteral("规则文件 %1").arg(rulesFile);
        return applyRulesFile(rulesFile, rules, error);
    }
    if (const std::optional<PublishedRules> published = installed.current()) {
        // Checked when it was read: applying cannot fail.
        if (applyRules(published->content, rules, error)) {
            *source = QStringLiteral("发布的规则，版本 %1").arg(published->describe());
            return true;
        }
    }
    *source = QStringLiteral("内置规则");
    return true;
}

} // namespace yz
