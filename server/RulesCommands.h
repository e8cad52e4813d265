#pragma once

#include "server/CommandSupport.h"

namespace yz::server {

// The vendor's signed rules and how the collector's rules fare.
void declareRulesKeygen(QCommandLineParser &parser);
int rulesKeygen(CommandCall &call);
void declareRulesPublish(QCommandLineParser &parser);
int rulesPublish(CommandCall &call);
// "rules sign FILE --key KEYFILE --version N --out SIGNED": the served form,
// made on a workstation that holds the secret key, no database touched.
void declareRulesSign(QCommandLineParser &parser);
int rulesSign(CommandCall &call);
// "rules import SIGNED": a signed file stored for serving, once its
// signature is one of the trusted keys' and its version newer than the newest.
int rulesImport(CommandCall &call);
int rulesList(CommandCall &call);
int rulesShow(CommandCall &call);
void declareRulesHealth(QCommandLineParser &parser);
int rulesHealth(CommandCall &call);

} // namespace yz::server
