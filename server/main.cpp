// The vendor's web service and its operator commands.
#include "server/Commands.h"
#include "server/Log.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstring>
#include <memory>

int main(int argc, char *argv[])
{
    // Serving draws the trend pictures, which needs fonts and so a
    // QGuiApplication; without a display it draws offscreen.
    const bool serving = argc > 1 && std::strcmp(argv[1], "serve") == 0;
    if (serving && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Every thread's event loop is Qt's own poll loop rather than GLib's:
    // GLib wakes its loop through an eventfd (a write and a read) whenever a
    // socket's write watch is switched on or off, twice per answer, which
    // costs the HTTP threads a third of their system calls. The service
    // needs nothing that only GLib's loop drives.
    if (serving && qEnvironmentVariableIsEmpty("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    // Logging as the service logs from the start, so that what Qt says while
    // it starts up is filtered like everything else; serve sets the level.
    if (serving)
        yz::server::installLogging({yz::server::LogLevel::Info, false, yz::server::stderrIsJournal()});
    std::unique_ptr<QCoreApplication> app =
            serving ? std::make_unique<QGuiApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("yanzhou-server"));
    return yz::server::runCommand(QCoreApplication::arguments());
}
