#include "net/BoundedRead.h"

#include <algorithm>

namespace yz {

QByteArray readAtMost(QIODevice &device, qint64 limit)
{
    QByteArray bytes;
    char chunk[16 * 1024];
    while (bytes.size() < limit) {
        const qint64 got = device.read(chunk, std::min<qint64>(qint64(sizeof chunk), limit - bytes.size()));
        if (got <= 0)
            break;
        bytes.append(chunk, qsizetype(got));
    }
    return bytes;
}

} // namespace yz
