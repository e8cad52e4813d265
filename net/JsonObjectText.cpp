#include "net/JsonObjectText.h"

#include <QJsonDocument>

namespace yz {

bool parseJsonObject(const QByteArray &json, const QString &what, const QString &shape, QJsonObject *object,
                     QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("%1不是有效的 JSON（第 %2 个字节）：%3")
                         .arg(what)
                         .arg(parseError.offset)
                         .arg(parseError.errorString());
        return false;
    }
    if (!doc.isObject()) {
        *error = QStringLiteral("%1应是一个 JSON 对象：%2").arg(what, shape);
        return false;
    }
    *object = doc.object();
    return true;
}

} // namespace yz
