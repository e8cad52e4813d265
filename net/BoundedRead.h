#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

namespace yz {

// Reads up to limit bytes from an open device. Unlike QIODevice::read(limit)
// it reserves nothing up front, so a small file with a large limit costs only
// its own size.
QByteArray readAtMost(QIODevice &device, qint64 limit);

// Reads a settings-like file the user names (`what`, e.g. "规则文件", goes
// into the messages). A file that cannot be opened or is larger than
// `limit` bytes is refused with a message in `error`.
bool readSmallFile(const QString &path, qint64 limit, const QString &what, QByteArray *bytes, QString *error);

} // namespace yz
