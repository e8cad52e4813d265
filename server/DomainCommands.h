#pragma once

#include "server/CommandSupport.h"

namespace yz::server {

// The operator's commands on domains: the ones the collector follows, and
// counts added to a domain's history by hand.
int domainsAdd(CommandCall &call);
void declareDomainsList(QCommandLineParser &parser);
int domainsList(CommandCall &call);
int historyAdd(CommandCall &call);

// A stored collect outcome ("ok", "频 HTTP 503", "X …", "transport 12029")
// in words for the operator.
QString outcomeInWords(const QString &stored);

} // namespace yz::server
