#pragma once

#include "cli/BatchLimits.h"
#include "query/QueryEngine.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

namespace yz::cli {

// What the command line asks for.
struct CliOptions {
    bool help = false;
    bool version = false;
    bool json = false;
    bool csv = false;
    bool detail = false; // each cell's status beside its value (--json, --csv)
    PressGroups groups; // the groups of every press
    QString trendDir; // where the trend pictures go; empty: no picture
    QString endpointsFile;
    QString inputFile; // more domains, one a line; "-" for standard input
    QString proxy; // every request through this proxy; empty: the environment's
    bool resume = false; // with storeFile: skip what today's runs have, ask again what they failed
    QString storeFile; // results database to append every domain's result to (--store alone: the default one)
    QString rulesFile; // replaces the built-in scraping rules
    bool printRules = false;
    QString pagesDir; // where every answer's body is kept; empty: nowhere
    int jobs = BatchLimits().jobs; // domains in flight at once
    int perHost = 0; // requests in flight to one host, across all domains; 0: what one press sends it
    int delayMs = 0; // between two requests leaving for one host
    int giveUpAfter = 3; // refusals in a row after which a host is asked no more; 0: never
    QStringList domains;
};

struct ParsedOptions {
    CliOptions options;
    QString error; // non-empty: a usage error, one line
};

// An option of the command line or of one of its words: its names, and
// whether it takes a value.
struct CliOption {
    QStringList names;
    bool takesValue;
};

// The first mistake in the arguments against the options, in the order
// typed, in Chinese ("未知的选项：--x"); empty when there is none.
QString firstOptionMistake(const QStringList &arguments, const QList<CliOption> &options);
// Fills the parser with the options and parses the arguments; a mistake is
// told in Chinese. (QCommandLineParser's own messages are English.)
bool parseWordOptions(QCommandLineParser &parser, const QList<CliOption> &options, const QStringList &arguments,
                      QString *error);

// Reads the arguments after the program name. Without a group option all
// four groups run; --trend adds the picture.
ParsedOptions parseCliOptions(const QStringList &arguments);

// The arguments with a bare --store (last, or before another option) naming
// the default results database.
QStringList withDefaultStore(QStringList arguments);

// The usage text printed by --help.
QString usageText(const QString &programName);

} // namespace yz::cli
