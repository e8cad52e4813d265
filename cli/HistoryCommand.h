#pragma once

#include <QStringList>

#include <cstdio>

namespace yz::cli {

// "yanzhou-cli history DOMAIN [--store FILE] [--csv|--json] [--since DATE]":
// the domain's stored runs, one a line, each metric's good value measured
// against the last good one before it; a domain with no runs is an error.
// "history --changed [--since DATE] [--unreported]": per domain, what
// changed (old → new) and how many queries failed; with --unreported, only
// what no earlier --unreported report covered. Without --store, the default
// results database; a missing database is an error. Returns the exit status.
int runHistory(const QStringList &arguments, std::FILE *out, std::FILE *err);

} // namespace yz::cli
