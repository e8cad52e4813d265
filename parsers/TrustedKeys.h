#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace yz {

// A public key published rules may be signed with, and where it came from.
struct TrustedKey {
    QString name; // the .pub file's path, or "内置公钥" for the one built in
    QByteArray key; // 32 bytes (Ed25519)
};
using TrustedKeys = QList<TrustedKey>;

// Where keys are trusted from, without a rebuild: the package's
// (/usr/share/yanzhou/rules-keys), the administrator's
// (/etc/yanzhou/rules-keys) and the user's (~/.config/yanzhou/rules-keys).
QStringList rulesKeyDirectories();
QString userRulesKeyDirectory();

// Reads a key file: one line of base64 (32 bytes), or "public <base64>" as
// `yanzhou-server rules keygen` writes it; a secret line is never read.
std::optional<QByteArray> readPublicKeyFile(const QString &path, QString *error);

// Every key trusted: the one built in (when the build set one), then each
// directory's *.pub in name order. Unreadable or malformed files are left
// out. Several keys may be trusted at once, so a new key can be rolled out
// before the old one is removed.
TrustedKeys trustedRulesKeys(const QByteArray &builtIn);

// Copies a key file into the user's directory, refusing a malformed one;
// the path it was copied to in `installed`.
bool trustRulesKey(const QString &path, QString *installed, QString *error);

} // namespace yz
