#include "net/BoundedRead.h"

#include <QFile>

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

bool readSmallFile(const QString &path, qint64 limit, const QString &what, QByteArray *bytes, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("无法读取%1 %2：%3").arg(what, path, file.errorString());
        return false;
    }
    *bytes = readAtMost(file, limit + 1);
    if (bytes->size() > limit) {
        *error = QStringLiteral("%1 %2 太大").arg(what, path);
        return false;
    }
    return true;
}

} // namespace yz
