#pragma once

#include "parsers/PublishedRules.h"
#include "parsers/RulesFile.h"
#include "parsers/TrustedKeys.h"

#include <QString>

#include <optional>

namespace yz {

// The published rules a client took up: one file in the user's data
// directory, shared by the window and the command line, checked again
// whenever it is read.
class InstalledRules {
public:
    // `keys`: those the rules may be signed with (trustedRulesKeys).
    explicit InstalledRules(TrustedKeys keys, QString path = defaultPath());
    // One key alone.
    explicit InstalledRules(QByteArray publicKey, QString path = defaultPath());

    static QString defaultPath();
    const QString &path() const { return m_path; }
    bool canVerify() const { return !m_keys.isEmpty(); }
    const TrustedKeys &keys() const { return m_keys; }

    // The installed rules; nothing when there are none or the file no longer
    // passes the checks (then `problem`, if given, says why). `signer` gets
    // the name of the key that signed them.
    std::optional<PublishedRules> current(QString *problem = nullptr, QString *signer = nullptr) const;

    // Checks a served file and installs it in one step. Refused, with the
    // reason and the installed file untouched: a damaged or oversize file, a
    // bad signature or another key's, rules that fail the checks, a version
    // not newer than the installed one (a replayed file).
    bool install(const QByteArray &served, QString *message) const;

private:
    // The trusted key the rules are signed with; nothing (and why) when none.
    std::optional<QString> signerOf(const PublishedRules &rules, QString *why) const;

    QString m_path;
    TrustedKeys m_keys;
};

// The rules a run uses: a rules file when one is given, else the installed
// published rules, else the built-in rules. `source` says which; false with
// `error` when the rules file is refused.
bool loadRulesInForce(const QString &rulesFile, const InstalledRules &installed, ScrapeRules &rules, QString *source,
                      QString *error);

} // namespace yz
