#include "settings/SettingsFile.h"

#include "net/BoundedRead.h"
#include "net/TextDecoding.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace yz {

QString decodeSettingsText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return decodeGbk(bytes);
}

bool SettingsFile::exists() const
{
    return QFileInfo::exists(m_path);
}

std::optional<SettingsRecord> SettingsFile::read() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // A settings record is a line; anything past a megabyte is not one.
    return SettingsRecord::parse(decodeSettingsText(readAtMost(file, 1 << 20)));
}

SettingsRecord SettingsFile::readOrCreate() const
{
    if (exists()) {
        if (const auto record = read())
            return *record;
        return SettingsRecord::defaults();
    }
    const SettingsRecord record = SettingsRecord::defaults();
    write(record);
    return record;
}

bool SettingsFile::write(const SettingsRecord &record, QString *error) const
{
    QSaveFile file(m_path);
    const auto fail = [&] {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return fail();
    // The password must not be readable by other users of the machine; the
    // new file gets its permissions before it takes the old one's place.
    if (record.hasAccount() && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return fail();
    const QByteArray bytes = record.serialize().toUtf8();
    if (file.write(bytes) != bytes.size())
        return fail();
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

QString SettingsFile::writeFailureMessage(const QString &reason) const
{
    return QStringLiteral("无法保存设置到 %1：%2").arg(QFileInfo(m_path).absoluteFilePath(), reason);
}

bool SettingsFile::markNewerVersion() const
{
    SettingsRecord record = read().value_or(SettingsRecord::defaults());
    record.flags.replace(4, 1, u'1');
    return write(record);
}

} // namespace yz
