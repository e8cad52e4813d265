#include "services/Endpoints.h"

#include "net/BoundedRead.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace yz {

bool applyEndpoints(const QByteArray &json, ServiceHosts &hosts, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("服务地址文件不是有效的 JSON（第 %1 个字节）：%2")
                         .arg(parseError.offset)
                         .arg(parseError.errorString());
        return false;
    }
    if (!doc.isObject()) {
        *error = QStringLiteral("服务地址文件应是一个 JSON 对象：{\"服务名\": \"http://主机[:端口]\"}");
        return false;
    }
    ServiceHosts changed = hosts;
    const QJsonObject object = doc.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!it.value().isString()) {
            *error = QStringLiteral("服务 \"%1\" 的地址应是字符串").arg(it.key());
            return false;
        }
        if (!changed.setBase(it.key(), it.value().toString(), error))
            return false;
    }
    hosts = changed;
    return true;
}

bool applyEndpointsFile(const QString &path, ServiceHosts &hosts, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("无法读取服务地址文件 %1：%2").arg(path, file.errorString());
        return false;
    }
    // Far more than any host table needs; a larger file is a mistake.
    constexpr qint64 kMaxSize = 1024 * 1024;
    const QByteArray bytes = readAtMost(file, kMaxSize + 1);
    if (bytes.size() > kMaxSize) {
        *error = QStringLiteral("服务地址文件 %1 太大").arg(path);
        return false;
    }
    return applyEndpoints(bytes, hosts, error);
}

} // namespace yz
