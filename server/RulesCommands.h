#pragma once

#include "server/CommandSupport.h"

namespace yz::server {

// The vendor's signed rules and how the collector's rules fare.
int rulesKeygen(const Invocation &call);
int rulesPublish(const Invocation &call);
int rulesList(const Invocation &call);
int rulesShow(const Invocation &call);
int rulesHealth(const Invocation &call);

} // namespace yz::server
