#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace yz {

// The address as a web page the browser may open: only http and https
// addresses with a host. Texts from the network or the settings file must
// never reach the desktop as local files, programs or other schemes.
std::optional<QUrl> openableLink(const QString &address);

} // namespace yz
