#pragma once

#include "server/CommandSupport.h"

namespace yz::server {

// The operator's commands on what the service serves: the version, the news,
// the suggestions received, the ranks table, and a backup of it all.
int versionSet(const Invocation &call);
int versionShow(const Invocation &call);
int newsAdd(const Invocation &call);
int newsList(const Invocation &call);
int newsRemove(const Invocation &call);
int newsMove(const Invocation &call);
int suggestionsList(const Invocation &call);
int ranksImport(const Invocation &call);
int backup(const Invocation &call);

} // namespace yz::server
