#pragma once

#include "server/Database.h"

#include <QCommandLineParser>
#include <QString>

#include <cstdio>
#include <memory>

namespace yz::server {

// What every operator command shares: its messages, its --db option and
// the parsing of its arguments.

extern const QString kDefaultDatabase;

void write(std::FILE *stream, const QString &text);
// Prints the message and returns the usage exit status.
int usage(const QString &message);
// Prints the message and returns the failure exit status.
int failure(const QString &message);

const QCommandLineOption &databaseOption();

// Opens the database named by --db; on failure prints why and leaves the
// exit status in `status`.
std::unique_ptr<Database> openDatabase(const QCommandLineParser &parser, int *status);

// Parses the arguments after the command words; false (with the status set)
// on an unknown option or a wrong number of positional arguments.
bool parseArguments(QCommandLineParser &parser, const QStringList &arguments, qsizetype positional, int *status);

bool parseInteger(const QString &text, qint64 low, qint64 high, qint64 *out);

} // namespace yz::server
