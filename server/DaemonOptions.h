#pragma once

#include "server/Collector.h"
#include "server/Log.h"

#include <QCommandLineParser>

namespace yz::server {

// The options the long-running commands share.

// The collector's options, taken by "serve" and "collect" alike; each
// default is the one CollectorConfig holds.
struct CollectorOptions {
    CollectorOptions();
    void addTo(QCommandLineParser &parser) const;
    // Reads the options; refuses (CommandError) a bad one.
    void read(const QCommandLineParser &parser, CollectorConfig *config, ServiceHosts *hosts) const;

    QCommandLineOption rate, budget, backoff, endpoints, claimTimeout, rules, brokenWindow, brokenShare, interval;
};

// How a long-running command logs: --log-level and --no-access-log.
struct LogOptions {
    LogOptions();
    void addTo(QCommandLineParser &parser) const;
    // Installs the logging the options ask for; refuses a bad level.
    void install(const QCommandLineParser &parser) const;

    QCommandLineOption level, noAccessLog;
};

} // namespace yz::server
