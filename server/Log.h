#pragma once

#include <QLoggingCategory>
#include <QString>

#include <optional>

namespace yz::server {

// The service logs through Qt's logging, one line per event, in these
// categories; Qt's own messages pass through the same handler.
Q_DECLARE_LOGGING_CATEGORY(lcServe)
Q_DECLARE_LOGGING_CATEGORY(lcAccess)
Q_DECLARE_LOGGING_CATEGORY(lcDatabase)
Q_DECLARE_LOGGING_CATEGORY(lcCollector)

enum class LogLevel { Error, Warning, Info, Debug };

// "error", "warning", "info" or "debug".
std::optional<LogLevel> parseLogLevel(const QString &text);
QString logLevelName(LogLevel level);

struct LogSettings {
    LogLevel level = LogLevel::Info;
    bool accessLog = true;
    // The journal's priority prefixes ("<4>") instead of a time of our own.
    bool journal = false;
};

// True when standard error is the journal's stream (systemd sets
// JOURNAL_STREAM to the device and inode of the stream it hands over).
bool stderrIsJournal();

// One log line as written: "<6>text" for the journal, else
// "2026-12-08T09:30:00.123Z info: text". `text` is made printable.
QString formatLogLine(LogLevel level, const QString &text, bool journal, const QDateTime &now);

// Sends every message, ours and Qt's, through one handler that writes a line
// per event to standard error at or above the level. Qt's chatter that says
// nothing to an operator (a missing runtime directory, SQL warnings the
// service reports in its own words) is demoted to debug.
void installLogging(const LogSettings &settings);

} // namespace yz::server
