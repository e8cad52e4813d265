#pragma once

#include "services/ServiceHosts.h"

#include <QByteArray>
#include <QString>

namespace yz {

// Applies a JSON object from service name to base address, such as
// {"baidu": "http://127.0.0.1:8080"}, to the host table. All or nothing:
// on the first unknown name, malformed address or malformed file the table
// is left unchanged and `error` says why.
bool applyEndpoints(const QByteArray &json, ServiceHosts &hosts, QString *error);

// The same for a file; an unreadable file is an error too.
bool applyEndpointsFile(const QString &path, ServiceHosts &hosts, QString *error);

} // namespace yz
