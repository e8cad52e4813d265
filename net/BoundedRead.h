#pragma once

#include <QByteArray>
#include <QIODevice>

namespace yz {

// Reads up to limit bytes from an open device. Unlike QIODevice::read(limit)
// it reserves nothing up front, so a small file with a large limit costs only
// its own size.
QByteArray readAtMost(QIODevice &device, qint64 limit);

} // namespace yz
