#pragma once

#include <QStringList>

namespace yz::server {

// "rules keygen|publish|list|show|health": the vendor's signed rules and how
// the collector's rules fare.
int rulesCommand(const QStringList &words, const QStringList &arguments);

} // namespace yz::server
