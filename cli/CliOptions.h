#pragma once

#include "query/QueryEngine.h"

#include <QString>
#include <QStringList>

namespace yz::cli {

// What the command line asks for.
struct CliOptions {
    bool help = false;
    bool version = false;
    bool json = false;
    PressGroups groups; // the groups of every press
    QString trendDir; // where the trend pictures go; empty: no picture
    QString endpointsFile;
    QStringList domains;
};

struct ParsedOptions {
    CliOptions options;
    QString error; // non-empty: a usage error, one line
};

// Reads the arguments after the program name. Without a group option all
// four groups run; --trend adds the picture.
ParsedOptions parseCliOptions(const QStringList &arguments);

// The usage text printed by --help and after a usage error.
QString usageText(const QString &programName);

} // namespace yz::cli
