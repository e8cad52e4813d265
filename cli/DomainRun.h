#pragma once

#include "query/QueryEngine.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

namespace yz::cli {

// Everything one press showed for one domain, once every request has ended.
struct DomainResult {
    QString domain;
    PressGroups groups;
    std::array<QList<QStringList>, kGridCount> grids; // [grid][row][col], headings included
    std::array<QList<QList<CellStatus>>, kGridCount> statuses; // why each cell holds its value
    std::array<QString, kInfoTextCount> info;
    QString finalDomain; // the root domain, when the test succeeded
    QString rootMessage; // the test's failure message, when it failed
    int started = 0;
    int answered = 0; // ended with the server's answer rather than a failure
    QString trendFile; // the picture saved, if any
    QString trendProblem; // why no picture was saved, if one was asked for
    bool trendWriteFailed = false;
};

// Called as requests start and end: (ended, started).
using ProgressFn = std::function<void(int ended, int started)>;

// Runs one press of the groups for the domain on a fresh engine and waits
// until every request it started has ended, so that no answer can land in
// another domain's result. A trend picture is saved into `trendDir`.
DomainResult runDomain(const ServiceHosts &hosts, const PressGroups &groups, const QString &domain,
                       const QString &trendDir, const ProgressFn &progress = {});

// The picture's file for a domain: "<dir>/<domain>_bd1.jpg", with every
// character that could leave the directory or trouble a shell replaced.
QString trendFilePath(const QString &dir, const QString &domain);

} // namespace yz::cli
