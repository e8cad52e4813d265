#pragma once

#include <QString>

namespace yz {

// The window's own settings, beside the settings record (setting.dat, whose
// layout stays as it is): an INI file in the user's configuration directory
// (~/.config/yanzhou/yanzhou.ini), whose keys older versions never read.

// The proxy typed in the settings dialog ("" for the desktop's).
QString storedProxy();
// Keeps it; false with the reason when the file cannot be written.
bool storeProxy(const QString &proxy, QString *error);

} // namespace yz
