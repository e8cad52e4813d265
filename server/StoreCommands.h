#pragma once

#include "server/CommandSupport.h"

namespace yz::server {

// The operator's commands on what the service serves: the version, the news,
// the suggestions received, the ranks table, and a backup of it all. Each
// is called with its arguments counted and throws CommandError to stop.
int versionSet(CommandCall &call);
int versionShow(CommandCall &call);
int newsAdd(CommandCall &call);
int newsList(CommandCall &call);
int newsRemove(CommandCall &call);
int newsMove(CommandCall &call);
void declareSuggestions(QCommandLineParser &parser);
int suggestionsList(CommandCall &call);
void declareRanksImport(QCommandLineParser &parser);
int ranksImport(CommandCall &call);
int backup(CommandCall &call);

} // namespace yz::server
