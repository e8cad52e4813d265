#pragma once

#include "settings/SettingsRecord.h"

#include <QString>

#include <optional>

namespace yz {

// The settings file "setting.dat" in the current directory, or another path.
class SettingsFile {
public:
    explicit SettingsFile(QString path = QStringLiteral("setting.dat"))
        : m_path(std::move(path))
    {
    }

    const QString &path() const { return m_path; }
    bool exists() const;

    // The stored record; nullopt when the file is missing or unreadable.
    // Text that is not valid UTF-8 is read as GBK (a file from a Chinese
    // Windows system).
    std::optional<SettingsRecord> read() const;

    // The stored record, or the default one after creating the file with it.
    SettingsRecord readOrCreate() const;

    // Replaces the file with the record in one step: the new record is written
    // beside it and renamed over it, so the file holds the old or the new
    // record, never a part. A failed write keeps the old file and gives the
    // system's reason in `error`. A record holding a statistics password is
    // readable by its owner only.
    bool write(const SettingsRecord &record, QString *error = nullptr) const;
    // The message shown when the record cannot be written: the file's full
    // path and the system's reason.
    QString writeFailureMessage(const QString &reason) const;

    // Sets the fifth flag character of the stored record to "1", all else as stored.
    bool markNewerVersion() const;

private:
    QString m_path;
};

// Decodes the bytes of a settings file: UTF-8 when valid, GBK otherwise.
QString decodeSettingsText(const QByteArray &bytes);

} // namespace yz
