#include "server/Log.h"

#include "net/PrintableText.h"

#include <QDateTime>
#include <QMutex>

#include <cstdio>
#include <sys/stat.h>

namespace yz::server {

Q_LOGGING_CATEGORY(lcServe, "yanzhou.serve")
Q_LOGGING_CATEGORY(lcAccess, "yanzhou.access")
Q_LOGGING_CATEGORY(lcDatabase, "yanzhou.database")
Q_LOGGING_CATEGORY(lcCollector, "yanzhou.collector")

namespace {

LogSettings g_settings;
QMutex g_writing;

struct LevelName {
    LogLevel level;
    const char *name;
    int priority; // syslog's
};
constexpr LevelName kLevels[] = {
        {LogLevel::Error, "error", 3},
        {LogLevel::Warning, "warning", 4},
        {LogLevel::Info, "info", 6},
        {LogLevel::Debug, "debug", 7},
};

const LevelName &entry(LogLevel level)
{
    return kLevels[int(level)];
}

LogLevel levelOf(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return LogLevel::Debug;
    case QtInfoMsg:
        return LogLevel::Info;
    case QtWarningMsg:
        return LogLevel::Warning;
    case QtCriticalMsg:
    case QtFatalMsg:
        return LogLevel::Error;
    }
    return LogLevel::Warning;
}

// Qt's messages an operator can do nothing about: the offscreen platform's
// missing runtime directory, and SQL and socket warnings about a lost
// connection, which the database thread reports in words of its own.
bool isNoise(const QMessageLogContext &context, const QString &text)
{
    const QLatin1StringView category(context.category ? context.category : "");
    if (category.startsWith(QLatin1String("yanzhou.")))
        return false;
    static const char *const kPrefixes[] = {"QStandardPaths:", "QSqlQuery::", "QSqlDatabase", "QSqlDatabasePrivate",
                                            "QSocketNotifier:"};
    for (const char *prefix : kPrefixes)
        if (text.startsWith(QLatin1String(prefix)))
            return true;
    return false;
}

void handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    LogLevel level = levelOf(type);
    if (level != LogLevel::Error && isNoise(context, text))
        level = LogLevel::Debug;
    if (int(level) > int(g_settings.level))
        return;
    const QByteArray line = formatLogLine(level, text, g_settings.journal, QDateTime::currentDateTimeUtc()).toUtf8();
    QMutexLocker lock(&g_writing);
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

} // namespace

std::optional<LogLevel> parseLogLevel(const QString &text)
{
    for (const LevelName &level : kLevels)
        if (text == QLatin1String(level.name))
            return level.level;
    return std::nullopt;
}

QString logLevelName(LogLevel level)
{
    return QLatin1String(entry(level).name);
}

bool stderrIsJournal()
{
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    const qsizetype colon = stream.indexOf(':');
    struct stat info { };
    if (colon < 0 || ::fstat(2, &info) != 0)
        return false;
    return stream.left(colon).toULongLong() == quint64(info.st_dev)
            && stream.mid(colon + 1).toULongLong() == quint64(info.st_ino);
}

QString formatLogLine(LogLevel level, const QString &text, bool journal, const QDateTime &now)
{
    // One event, one line: line breaks inside a message become spaces.
    QString oneLine = text;
    oneLine.replace(u'\n', u' ');
    oneLine = printable(oneLine);
    if (journal)
        return QStringLiteral("<%1>%2\n").arg(entry(level).priority).arg(oneLine);
    return QStringLiteral("%1 %2: %3\n")
            .arg(now.toUTC().toString(Qt::ISODateWithMs), QLatin1String(entry(level).name), oneLine);
}

void installLogging(const LogSettings &settings)
{
    g_settings = settings;
    // Categories below the level are switched off where they are logged, so
    // a message nobody reads is not even formatted.
    QString rules;
    for (const char *level : {"debug", "info", "warning"})
        if (int(settings.level) < int(*parseLogLevel(QLatin1String(level))))
            rules += QStringLiteral("yanzhou.*.%1=false\n").arg(QLatin1String(level));
    if (!settings.accessLog)
        rules += QStringLiteral("yanzhou.access.info=false\n");
    QLoggingCategory::setFilterRules(rules);
    qInstallMessageHandler(handle);
}

} // namespace yz::server
