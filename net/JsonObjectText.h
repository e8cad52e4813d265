#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace yz {

// Reads a JSON text that must hold one object, as the files a user writes
// for the command line do. `what` starts the messages ("服务地址文件", or empty
// when the caller names the file itself); `shape` shows the expected form.
bool parseJsonObject(const QByteArray &json, const QString &what, const QString &shape, QJsonObject *object,
                     QString *error);

} // namespace yz
