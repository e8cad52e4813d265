#include "server/CommandSupport.h"

#include "server/Commands.h"

namespace yz::server {

const QString kDefaultDatabase = QStringLiteral("yanzhou-server.sqlite");
void write(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

int usage(const QString &message)
{
    write(stderr, QStringLiteral("yanzhou-server: %1\n").arg(message));
    return kExitUsage;
}

int failure(const QString &message)
{
    write(stderr, QStringLiteral("yanzhou-server: %1\n").arg(message));
    return kExitFailure;
}

const QCommandLineOption &databaseOption()
{
    static const QCommandLineOption option(QStringLiteral("db"),
                                           QStringLiteral("SQLite file or postgresql://user@host[:port]/database"),
                                           QStringLiteral("URL"), kDefaultDatabase);
    return option;
}

std::unique_ptr<Database> openDatabase(const QCommandLineParser &parser, int *status)
{
    DatabaseAddress address;
    QString error;
    if (!DatabaseAddress::parse(parser.value(databaseOption()), &address, &error)) {
        *status = usage(error);
        return nullptr;
    }
    auto database = std::make_unique<Database>(address);
    if (!database->open(&error)) {
        *status = failure(error);
        return nullptr;
    }
    return database;
}

bool parseArguments(QCommandLineParser &parser, const QStringList &arguments, qsizetype positional, int *status)
{
    parser.addOption(databaseOption());
    if (!parser.parse(arguments)) {
        *status = usage(parser.errorText());
        return false;
    }
    if (parser.positionalArguments().size() != positional) {
        *status = usage(QStringLiteral("expected %1 argument(s) after the command, got %2; see --help")
                                .arg(positional)
                                .arg(parser.positionalArguments().size()));
        return false;
    }
    return true;
}

bool parseInteger(const QString &text, qint64 low, qint64 high, qint64 *out)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < low || value > high)
        return false;
    *out = value;
    return true;
}

} // namespace yz::server
