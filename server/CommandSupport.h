#pragma once

#include "server/Database.h"

#include <QCommandLineParser>
#include <QString>

#include <cstdio>
#include <memory>
#include <optional>
#include <utility>

namespace yz::server {

// What every operator command shares: its messages, its errors, its --db
// option and the database it works on.

// Exit statuses of yanzhou-server.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1; // the database or the network failed
inline constexpr int kExitUsage = 2; // bad arguments or bad input; nothing written

// Why a command stopped: the kind says what the operator must change, and
// alone decides the exit status.
enum class ErrorKind {
    Usage, // the arguments or the input: nothing was written
    Failure, // the database, a file or the network
};

// Thrown by a command (and the helpers it calls) to stop it; the dispatcher
// prints the message and exits with the kind's status.
struct CommandError {
    ErrorKind kind;
    QString message;
};

[[noreturn]] inline void refuse(const QString &message)
{
    throw CommandError{ErrorKind::Usage, message};
}
[[noreturn]] inline void fail(const QString &message)
{
    throw CommandError{ErrorKind::Failure, message};
}

int exitStatusOf(ErrorKind kind);
// Prints "yanzhou-server: MESSAGE" and returns the kind's exit status.
int report(const CommandError &error);

// "news add TITLE ADDRESS": a command's words and what follows them.
inline QString commandLine(const QString &words, const QString &synopsis)
{
    return synopsis.isEmpty() ? words : words + u' ' + synopsis;
}

void write(std::FILE *stream, const QString &text);

// A description followed by "(default: VALUE)", for an option whose default
// is taken from the structure that owns it.
QString withDefault(const QString &description, const QString &value);
// An option taking a value, whose description ends with its default.
QCommandLineOption optionWithDefault(const char *name, const QString &description, const char *valueName,
                                     const QString &value);

// The --db option. Its default is the package's database for the package's
// service user, else yanzhou-server.sqlite in the current directory.
const QCommandLineOption &databaseOption();
const QCommandLineOption &databasePasswordFileOption();

// What a command does with the database --db names.
enum class DatabaseUse {
    None, // it opens none (or opens it itself, on its own thread)
    Reads, // a SQLite file that does not exist is an error, not created
    Writes, // created, with its schema, when missing
};

// The database the options name: --db, its password from
// --db-password-file (so that it never shows in the process list). As root
// on a packaged host without --db, the service's database when it is a
// PostgreSQL server's; a SQLite file is refused, naming both, as root's
// writes would leave files the service cannot open. Throws CommandError.
DatabaseAddress databaseAddressOf(const QCommandLineParser &parser);

// One run of a command, its arguments parsed: the positional arguments,
// the options, and the database, opened on first use the way the command
// table says the command uses it.
class CommandCall {
public:
    CommandCall(const QCommandLineParser &parser, DatabaseUse use)
        : parser(parser)
        , arguments(parser.positionalArguments())
        , m_use(use)
    {
    }

    const QCommandLineParser &parser;
    const QStringList arguments;

    QString value(const char *option) const { return parser.value(QLatin1String(option)); }
    bool isSet(const char *option) const { return parser.isSet(QLatin1String(option)); }
    // Opened after the command has checked its arguments, so that a bad
    // argument is told as such even when the database is missing too.
    Database &database();

private:
    DatabaseUse m_use;
    std::unique_ptr<Database> m_database;
};

// What a store answered, or the store's own error as a failure: for any
// store with lastError() (VendorStore, RulesStore).
template <typename T, typename Store> T answerOf(std::optional<T> answer, const Store &store)
{
    if (!answer)
        fail(store.lastError());
    return std::move(*answer);
}
template <typename Store> void succeeded(bool done, const Store &store)
{
    if (!done)
        fail(store.lastError());
}

// A whole number in [low, high]; false when the text is anything else.
bool parseInteger(const QString &text, qint64 low, qint64 high, qint64 *out);
// As parseInteger, refusing with `mistake` instead.
qint64 integerArgument(const QString &text, qint64 low, qint64 high, const QString &mistake);

} // namespace yz::server
