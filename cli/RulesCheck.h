#pragma once

#include <QStringList>

#include <cstdio>

namespace yz::cli {

// "yanzhou-cli rules check FILE --pages DIR": reads the pages a run saved
// with --save-pages under a rules file (FILE, or "-" for the built-in rules)
// and prints, per page, the value and cause they give, without sending a
// request. Returns the exit status.
int runRulesCheck(const QStringList &arguments, std::FILE *out, std::FILE *err);

} // namespace yz::cli
