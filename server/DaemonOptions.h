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
    // Reads the options; the exit status in `status` when they are bad.
    bool read(const QCommandLineParser &parser, CollectorConfig *config, ServiceHosts *hosts, int *status) const;

    QCommandLineOption rate, budget, backoff, endpoints, claimTimeout, rules, brokenWindow, brokenShare, interval;
};

// How a long-running command logs: --log-level and --no-access-log.
struct LogOptions {
    LogOptions();
    void addTo(QCommandLineParser &parser) const;
    // Installs the logging the options ask for; false (status set) on a bad level.
    bool install(const QCommandLineParser &parser, int *status) const;

    QCommandLineOption level, noAccessLog;
};

} // namespace yz::server
