#pragma once

#include <QStringList>

#include <cstdio>

namespace yz::cli {

// "yanzhou-cli history DOMAIN [--store FILE] [--csv|--json] [--since DATE]":
// the domain's stored values, one run a line, with what changed since the
// run before; "history --changed [--since DATE]": the domains whose values
// changed. Returns the exit status (2 for a usage error).
int runHistory(const QStringList &arguments, std::FILE *out, std::FILE *err);

// Where results are kept when --store names no file.
inline constexpr char kDefaultStore[] = "yanzhou-results.sqlite";

} // namespace yz::cli
