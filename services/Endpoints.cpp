#include "services/Endpoints.h"

#include "net/BoundedRead.h"
#include "net/JsonObjectText.h"

#include <QJsonObject>

namespace yz {

bool applyEndpoints(const QByteArray &json, ServiceHosts &hosts, QString *error)
{
    QJsonObject object;
    if (!parseJsonObject(json, QStringLiteral("服务地址文件"), QStringLiteral("{\"服务名\": \"http://主机[:端口]\"}"),
                         &object, error))
        return false;
    ServiceHosts changed = hosts;
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!it.value().isString()) {
            *error = QStringLiteral("服务 \"%1\" 的地址应是字符串").arg(it.key());
            return false;
        }
        if (it.key() == ServiceHosts::rulesKeyName() ? !changed.setRulesKey(it.value().toString(), error)
                                                     : !changed.setBase(it.key(), it.value().toString(), error))
            return false;
    }
    hosts = changed;
    return true;
}

bool applyEndpointsFile(const QString &path, ServiceHosts &hosts, QString *error)
{
    // Far more than any host table needs; a larger file is a mistake.
    constexpr qint64 kMaxSize = 1024 * 1024;
    QByteArray bytes;
    return readSmallFile(path, kMaxSize, QStringLiteral("服务地址文件"), &bytes, error)
            && applyEndpoints(bytes, hosts, error);
}

} // namespace yz
