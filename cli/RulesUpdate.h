#pragma once

#include <QStringList>

#include <cstdio>

namespace yz::cli {

// "yanzhou-cli rules update [--endpoints FILE]": fetches the vendor's newest
// published rules, checks them and installs them for the window and the
// command line. Returns the exit status: 0 installed or already newest,
// 1 refused or not reachable, 2 a usage error.
int runRulesUpdate(const QStringList &arguments, std::FILE *out, std::FILE *err);

// "yanzhou-cli rules status [--endpoints FILE] [--rules FILE]": which rules a
// run uses, the key that signed the installed ones, the keys trusted.
int runRulesStatus(const QStringList &arguments, std::FILE *out, std::FILE *err);

// "yanzhou-cli rules trust PUBFILE": trusts a vendor's public key from now on
// (copied into the user's rules-keys directory), refusing a malformed one.
int runRulesTrust(const QStringList &arguments, std::FILE *out, std::FILE *err);

} // namespace yz::cli
