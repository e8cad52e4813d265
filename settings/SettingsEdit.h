#pragma once

#include <QString>
#include <QStringList>

namespace yz {

// What saving the settings dialog amounts to, worked out from what the user
// typed, before anything is changed.
struct SettingsEdit {
    bool ok = false;
    QString error; // why the save is refused (ok false)
    QStringList entries; // the frequent domains, empty lines skipped
    int lineCount = 0; // lines typed, empty ones included (sizes the list)
    QString joined; // entries joined by ","
    bool hasAccount = false;
    int type = 0; // 0 CNZZ, 1 51LA
    QString account; // "type,ID,password", or empty
};

// `domainsText` one domain per line; an empty box stands for the default
// domain. The account counts only when ID and password are both non-blank.
// Refused: a "|" in a domain, a "," or "|" in the ID or password (the stored
// record could not be read back), an ID that is not a 32-bit decimal integer.
SettingsEdit makeSettingsEdit(const QString &domainsText, const QString &siteId, const QString &password, bool cnzz);

} // namespace yz
