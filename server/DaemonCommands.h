#pragma once

#include "server/CommandSupport.h"

namespace yz::server {

// The long-running commands: "serve" answers clients (and collects), and
// "collect" only collects. Both return when the event loop ends.
void declareServe(QCommandLineParser &parser);
int serveCommand(CommandCall &call);
void declareCollect(QCommandLineParser &parser);
int collectCommand(CommandCall &call);

} // namespace yz::server
