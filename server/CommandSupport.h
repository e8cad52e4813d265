#pragma once

#include "server/Database.h"

#include <QCommandLineParser>
#include <QString>

#include <cstdio>
#include <memory>

namespace yz::server {

// What every operator command shares: its messages, its --db option and
// the parsing of its arguments.

// "news add TITLE ADDRESS": a command's words and what follows them.
inline QString commandLine(const QString &words, const QString &synopsis)
{
    return synopsis.isEmpty() ? words : words + u' ' + synopsis;
}

// One run of a command: the program name and what followed the command's
// words, and how the command is named in messages and --help.
struct Invocation {
    QStringList arguments;
    QString words; // "news add"
    QString synopsis; // "TITLE ADDRESS"
    QString help; // what the command does, in a sentence

    QString usageLine() const { return commandLine(words, synopsis); }
};

void write(std::FILE *stream, const QString &text);
// Prints the message and returns the usage exit status.
int usage(const QString &message);
// Prints the message and returns the failure exit status.
int failure(const QString &message);

// A description followed by "(default: VALUE)", for an option whose default
// is taken from the structure that owns it.
QString withDefault(const QString &description, const QString &value);
// An option taking a value, whose description ends with its default.
QCommandLineOption optionWithDefault(const char *name, const QString &description, const char *valueName,
                                     const QString &value);

// The --db option. Its default is the package's database for the package's
// service user, else yanzhou-server.sqlite in the current directory.
const QCommandLineOption &databaseOption();

enum class OpenFor {
    Reading, // a SQLite file that does not exist is an error, not created
    Writing, // created, with its schema, when missing
};

// Opens the database named by --db; on failure prints why and leaves the
// exit status in `status`.
std::unique_ptr<Database> openDatabase(const QCommandLineParser &parser, OpenFor purpose, int *status);

// The database the options name: --db, its password from
// --db-password-file (so that it never shows in the process list). As root
// on a packaged host without --db, the service's database when it is a
// PostgreSQL server's; a SQLite file is refused, naming both, as root's
// writes would leave files the service cannot open. False with `status`.
bool databaseAddressOf(const QCommandLineParser &parser, DatabaseAddress *out, int *status);
const QCommandLineOption &databasePasswordFileOption();

// Parses the arguments after the command words, with --db and --help added;
// false (with the status set) on an unknown option, on a count of positional
// arguments outside [least, most], and after printing --help.
bool parseArguments(QCommandLineParser &parser, const Invocation &call, qsizetype least, qsizetype most, int *status);
inline bool parseArguments(QCommandLineParser &parser, const Invocation &call, qsizetype positional, int *status)
{
    return parseArguments(parser, call, positional, positional, status);
}

bool parseInteger(const QString &text, qint64 low, qint64 high, qint64 *out);

} // namespace yz::server
