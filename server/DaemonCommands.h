#pragma once

#include "server/CommandSupport.h"

namespace yz::server {

// The long-running commands: "serve" answers clients (and collects), and
// "collect" only collects. Both return when the event loop ends.
int serveCommand(const Invocation &call);
int collectCommand(const Invocation &call);

} // namespace yz::server
