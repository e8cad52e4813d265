#pragma once

#include <QStringList>

namespace yz::server {

// Exit statuses of yanzhou-server.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1; // the database or the network failed
inline constexpr int kExitUsage = 2; // bad arguments or bad input; nothing written

// Runs "yanzhou-server ARGS..." (the program name first) and returns the exit
// status; "serve" returns only when the event loop ends.
int runCommand(const QStringList &arguments);

// The text of --help.
QString usageText();

} // namespace yz::server
