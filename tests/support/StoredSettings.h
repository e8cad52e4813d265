#pragma once

#include <QByteArray>
#include <QFile>

namespace yztest {

// The bytes of the settings file in the current directory; empty when missing.
inline QByteArray storedSettings()
{
    QFile file(QStringLiteral("setting.dat"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Puts a settings file with these bytes in the current directory.
inline bool storeSettings(const QByteArray &bytes)
{
    QFile file(QStringLiteral("setting.dat"));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace yztest
