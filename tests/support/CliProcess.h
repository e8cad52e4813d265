#pragma once

// The command-line program run as a user runs it, while the test's event
// loop keeps turning so that its fake servers can answer.
#include <QProcess>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <QStringList>

namespace yztest {

struct CliRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

inline CliRun runCli(const QString &program, const QStringList &args,
                     const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    QSignalSpy finished(&process, &QProcess::finished);
    process.setProcessEnvironment(environment);
    process.start(program, args);
    if (!process.waitForStarted())
        return {};
    process.closeWriteChannel();
    if (finished.isEmpty() && !finished.wait(60000))
        return {};
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

} // namespace yztest
