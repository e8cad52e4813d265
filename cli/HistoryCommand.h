#pragma once

#include <QStringList>

#include <cstdio>

namespace yz::cli {

// "yanzhou-cli history DOMAIN [--store FILE] [--csv|--json] [--since DATE]":
// the domain's stored values, one run a line, with what changed since the
// run before; "history --changed [--since DATE]": the domains whose values
// changed. Without --store, the default results database; a missing
// database is an error. Returns the exit status (1 on failure, 2 for a usage
// error).
int runHistory(const QStringList &arguments, std::FILE *out, std::FILE *err);

} // namespace yz::cli
