#pragma once

// A PostgreSQL server of the test's own, in a temporary directory on a free
// loopback port, that the test may stop, freeze and restart without
// disturbing the server the other tests share.
#include <QDir>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace yztest {

class PostgresCluster {
public:
    PostgresCluster()
    {
        const QStringList versions =
                QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        if (versions.isEmpty())
            return;
        m_bin = QStringLiteral("/usr/lib/postgresql/%1/bin/").arg(versions.last());
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        m_port = probe.serverPort();
        probe.close();
        QFile::setPermissions(m_dir.path(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                      | QFileDevice::ReadOther | QFileDevice::ExeOther);
        if (::geteuid() == 0 && !run(QStringLiteral("chown"), {QStringLiteral("postgres"), m_dir.path()}, false))
            return;
        m_ok = asPostgres(QStringLiteral("initdb"),
                          {QStringLiteral("-D"), data(), QStringLiteral("-A"), QStringLiteral("trust"),
                           QStringLiteral("-U"), QStringLiteral("postgres"), QStringLiteral("-E"),
                           QStringLiteral("UTF8")})
                && start();
    }

    ~PostgresCluster()
    {
        resume();
        if (m_ok)
            asPostgres(QStringLiteral("pg_ctl"),
                       {QStringLiteral("-D"), data(), QStringLiteral("-m"), QStringLiteral("immediate"),
                        QStringLiteral("-w"), QStringLiteral("stop")});
    }

    bool ok() const { return m_ok; }
    // The address of a database on it (the maintenance database by default).
    QString url(const QString &database = QStringLiteral("postgres")) const
    {
        return QStringLiteral("postgresql://postgres@127.0.0.1:%1/%2").arg(m_port).arg(database);
    }

    bool start()
    {
        return asPostgres(
                QStringLiteral("pg_ctl"),
                {QStringLiteral("-D"), data(), QStringLiteral("-l"), m_dir.filePath(QStringLiteral("log")),
                 QStringLiteral("-w"), QStringLiteral("-o"),
                 QStringLiteral("-k %1 -p %2 -c listen_addresses=127.0.0.1 -c fsync=off").arg(m_dir.path()).arg(m_port),
                 QStringLiteral("start")});
    }
    bool stop()
    {
        return asPostgres(QStringLiteral("pg_ctl"),
                          {QStringLiteral("-D"), data(), QStringLiteral("-m"), QStringLiteral("fast"),
                           QStringLiteral("-w"), QStringLiteral("stop")});
    }

    // Freezes the server and every backend (SIGSTOP), as a stuck machine
    // would: connections stay open and nothing answers.
    void pause() { signalAll(SIGSTOP); }
    void resume() { signalAll(SIGCONT); }

private:
    QString data() const { return m_dir.filePath(QStringLiteral("data")); }

    void signalAll(int signal)
    {
        QFile pidFile(data() + QStringLiteral("/postmaster.pid"));
        if (!pidFile.open(QIODevice::ReadOnly))
            return;
        const pid_t postmaster = pid_t(pidFile.readLine().trimmed().toLong());
        if (postmaster <= 0)
            return;
        ::kill(postmaster, signal);
        // Its children: every process whose parent it is.
        for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray text = stat.readAll();
            const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
            if (fields.size() > 1 && fields[1].toLong() == postmaster)
                ::kill(pid_t(entry.toLong()), signal);
        }
    }

    bool asPostgres(const QString &tool, const QStringList &args)
    {
        if (::geteuid() == 0)
            return run(QStringLiteral("runuser"),
                       QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"), m_bin + tool}
                               + args,
                       true);
        return run(m_bin + tool, args, true);
    }

    static bool run(const QString &program, const QStringList &args, bool quiet)
    {
        QProcess process;
        if (quiet)
            process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, args);
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit
            || process.exitCode() != 0) {
            qWarning("%s failed: %s", qPrintable(program), process.readAll().constData());
            return false;
        }
        return true;
    }

    QTemporaryDir m_dir;
    QString m_bin;
    quint16 m_port = 0;
    bool m_ok = false;
};

} // namespace yztest
