#pragma once

#include "server/CommandSupport.h"

#include <QStringList>

namespace yz::server {

// Runs "yanzhou-server ARGS..." (the program name first) and returns the exit
// status; "serve" returns only when the event loop ends.
int runCommand(const QStringList &arguments);

// The text of --help.
QString usageText();

} // namespace yz::server
