#pragma once

#include "server/CommandSupport.h"

namespace yz::server {

// The vendor's signed rules and how the collector's rules fare.
int rulesKeygen(const Invocation &call);
int rulesPublish(const Invocation &call);
// "rules sign FILE --key KEYFILE --version N --out SIGNED": the served form,
// made on a workstation that holds the secret key, no database touched.
int rulesSign(const Invocation &call);
// "rules import SIGNED": a signed file stored for serving, once its
// signature is one of the trusted keys' and its version newer than the newest.
int rulesImport(const Invocation &call);
int rulesList(const Invocation &call);
int rulesShow(const Invocation &call);
int rulesHealth(const Invocation &call);

} // namespace yz::server
