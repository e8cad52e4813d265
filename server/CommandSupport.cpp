#include "server/CommandSupport.h"

#include "net/PrintableText.h"
#include "server/PackagePaths.h"

#include <QFile>
#include <QFileInfo>

#include <pwd.h>
#include <unistd.h>

namespace yz::server {
namespace {

// The value of YANZHOU_DB= in the package's settings file, quotes taken off;
// empty when the file or the line is missing.
QString databaseFromDefaultsFile()
{
    QFile file(QString::fromLatin1(package::kDefaultsFile));
    if (!file.open(QIODevice::ReadOnly) || file.size() > 64 * 1024)
        return {};
    const QByteArray prefix = QByteArray(package::kDatabaseVariable) + '=';
    QString value;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith(prefix))
            value = QString::fromUtf8(line.mid(prefix.size()));
    }
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return value;
}

QString defaultDatabase()
{
    const passwd *user = ::getpwuid(::geteuid());
    if (user && QLatin1String(user->pw_name) == QLatin1String(package::kServiceUser)) {
        const QString configured = databaseFromDefaultsFile();
        return configured.isEmpty() ? QString::fromLatin1(package::kDatabase) : configured;
    }
    return QStringLiteral("yanzhou-server.sqlite");
}

} // namespace

void write(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

int exitStatusOf(ErrorKind kind)
{
    return kind == ErrorKind::Usage ? kExitUsage : kExitFailure;
}

int report(const CommandError &error)
{
    write(stderr, QStringLiteral("yanzhou-server: %1\n").arg(error.message));
    return exitStatusOf(error.kind);
}

QString withDefault(const QString &description, const QString &value)
{
    return QStringLiteral("%1 (default: %2)").arg(description, value);
}

QCommandLineOption optionWithDefault(const char *name, const QString &description, const char *valueName,
                                     const QString &value)
{
    return {QLatin1String(name), withDefault(description, value), QLatin1String(valueName), value};
}

const QCommandLineOption &databaseOption()
{
    static const QString fallback = defaultDatabase();
    static const QCommandLineOption option(QStringLiteral("db"),
                                           withDefault(QStringLiteral(
                                                               "SQLite file or postgresql://user@host[:port]/database"),
                                                       fallback),
                                           QStringLiteral("URL"), fallback);
    return option;
}

const QCommandLineOption &databasePasswordFileOption()
{
    static const QCommandLineOption option(QStringLiteral("db-password-file"),
                                           QStringLiteral("file whose first line is the PostgreSQL password (or "
                                                          "use ~/.pgpass); never put it in --db, where ps shows it"),
                                           QStringLiteral("FILE"));
    return option;
}

DatabaseAddress databaseAddressOf(const QCommandLineParser &parser)
{
    QString given = parser.value(databaseOption());
    if (!parser.isSet(databaseOption()) && ::geteuid() == 0
        && QFileInfo::exists(QString::fromLatin1(package::kDefaultsFile))) {
        QString configured = databaseFromDefaultsFile();
        if (configured.isEmpty())
            configured = QString::fromLatin1(package::kDatabase);
        if (!configured.startsWith(QLatin1String("postgres")))
            refuse(QStringLiteral("as root without --db: the service's database is %1 (%2 in %3), not %4 "
                                  "here; run as the service's user (runuser -u %5 -- yanzhou-server ...) "
                                  "or give --db")
                           .arg(printable(configured), QLatin1String(package::kDatabaseVariable),
                                QLatin1String(package::kDefaultsFile), printable(given),
                                QLatin1String(package::kServiceUser)));
        given = configured;
    }
    DatabaseAddress address;
    QString error;
    if (!DatabaseAddress::parse(given, &address, &error))
        refuse(error);
    if (!address.password.isEmpty())
        write(stderr,
              QStringLiteral("yanzhou-server: warning: the password in --db shows in the process list to "
                             "every local user; use --db-password-file or ~/.pgpass\n"));
    if (parser.isSet(databasePasswordFileOption())) {
        QFile file(parser.value(databasePasswordFileOption()));
        if (!file.open(QIODevice::ReadOnly))
            fail(QStringLiteral("cannot read the password file %1: %2")
                         .arg(printable(file.fileName()), file.errorString()));
        address.password = QString::fromUtf8(file.read(4096).split('\n').value(0)).trimmed();
    }
    return address;
}

namespace {

// Opens the database named by --db for `use`.
std::unique_ptr<Database> openDatabase(const QCommandLineParser &parser, DatabaseUse use)
{
    const DatabaseAddress address = databaseAddressOf(parser);
    // Reading from a file that is not there would make an empty database
    // and show nothing, as if nothing had been stored.
    if (use == DatabaseUse::Reads && !address.postgres && !QFileInfo::exists(address.path))
        fail(QStringLiteral("no database at %1 (see --db)").arg(printable(address.path)));
    auto database = std::make_unique<Database>(address);
    QString error;
    if (!database->open(&error))
        fail(error);
    return database;
}

} // namespace

Database &CommandCall::database()
{
    Q_ASSERT(m_use != DatabaseUse::None);
    if (!m_database)
        m_database = openDatabase(parser, m_use);
    return *m_database;
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

qint64 integerArgument(const QString &text, qint64 low, qint64 high, const QString &mistake)
{
    qint64 value = 0;
    if (!parseInteger(text, low, high, &value))
        refuse(mistake);
    return value;
}

} // namespace yz::server
