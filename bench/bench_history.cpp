// The change report over a results database of years: 500 domains, a year
// of nightly runs of every group, made as the command line stores them; then
// "yanzhou-cli history --changed" for the last night, a week and the whole
// year, its time and peak memory, and the file's size on disk.
#include "results/ResultStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>
#include <random>

namespace {

constexpr int kDomains = 500;
constexpr int kNights = 365;

// The metrics every run of all groups measures, as the grids name them.
QStringList allMetrics()
{
    QStringList keys;
    for (const char *row : {"收录", "外链"})
        for (const char *engine : {"Baidu", "Google", "Yahoo", "Sogou", "Youdao", "Soso"})
            keys << QStringLiteral("tb1/%1/%2").arg(QString::fromUtf8(row), QLatin1String(engine));
    keys << QStringLiteral("tb2/百度快照") << QStringLiteral("tb2/PR") << QStringLiteral("tb2/Alexa")
         << QStringLiteral("tb2/SogouRank");
    for (const char *engine : {"Baidu", "Google"})
        for (const char *span : {"一天内", "一周内", "一月内"})
            keys << QStringLiteral("tb3/%1/%2").arg(QLatin1String(engine), QString::fromUtf8(span));
    keys << QStringLiteral("dminfo") << QStringLiteral("dminfo3");
    return keys;
}

// Fills the file in one transaction: counts drift now and then, a query
// fails now and then, as nights on real engines do.
bool generate(const QString &file, QString *error)
{
    {
        yz::ResultStore store(file); // the layout, as the programs make it
        if (!store.open(yz::ResultStore::Purpose::Writing, error))
            return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("generate"));
    db.setDatabaseName(file);
    if (!db.open()) {
        *error = db.lastError().text();
        return false;
    }
    QSqlQuery q(db);
    q.exec(QStringLiteral("PRAGMA synchronous=OFF"));
    db.transaction();
    const QStringList metrics = allMetrics();
    for (int m = 0; m < metrics.size(); ++m) {
        q.prepare(QStringLiteral("INSERT INTO metrics (id, key) VALUES (?, ?)"));
        q.addBindValue(m + 1);
        q.addBindValue(metrics[m]);
        q.exec();
    }
    std::mt19937 random(42);
    QList<qint64> values(qsizetype(kDomains) * metrics.size());
    for (qint64 &v : values)
        v = random() % 5'000'000;
    QSqlQuery run(db), cell(db);
    run.prepare(QStringLiteral("INSERT INTO runs (id, at, source, domain, groups) VALUES (?, ?, 'cli', ?, "
                               "'common,rank,recent,info')"));
    cell.prepare(QStringLiteral("INSERT INTO cells (run, metric, value, status, http) VALUES (?, ?, ?, ?, ?)"));
    const QDateTime first(QDate::currentDate().addDays(-kNights), QTime(19, 30), Qt::UTC);
    qint64 id = 0;
    for (int night = 0; night < kNights; ++night) {
        const QString at = first.addDays(night).toString(Qt::ISODate);
        for (int d = 0; d < kDomains; ++d) {
            run.addBindValue(++id);
            run.addBindValue(at);
            run.addBindValue(QStringLiteral("site%1.example.com").arg(d));
            if (!run.exec()) {
                *error = run.lastError().text();
                return false;
            }
            for (int m = 0; m < metrics.size(); ++m) {
                qint64 &value = values[qsizetype(d) * metrics.size() + m];
                if (random() % 10 == 0)
                    value += qint64(random() % 2001) - 1000;
                const bool failed = random() % 50 == 0;
                cell.addBindValue(id);
                cell.addBindValue(m + 1);
                cell.addBindValue(failed ? QStringLiteral("X") : QString::number(std::max<qint64>(0, value)));
                cell.addBindValue(failed ? QStringLiteral("failed") : QStringLiteral("ok"));
                cell.addBindValue(failed ? 503 : 0);
                if (!cell.exec()) {
                    *error = cell.lastError().text();
                    return false;
                }
            }
        }
    }
    db.commit();
    q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    return true;
}

struct Measured {
    double seconds = 0;
    long peakKiB = 0;
    qsizetype lines = 0;
    int exitCode = -1;
};

// Runs the command line; its peak resident memory from the kernel's account.
Measured runReport(const QStringList &args)
{
    Measured m;
    QElapsedTimer clock;
    clock.start();
    std::fflush(stdout); // the child's copy of the buffer must not be written twice
    const pid_t child = fork();
    if (child == 0) {
        const QByteArray program = YZ_CLI;
        QList<QByteArray> bytes;
        for (const QString &a : args)
            bytes << a.toUtf8();
        std::vector<char *> argv{const_cast<char *>(program.constData())};
        for (QByteArray &b : bytes)
            argv.push_back(b.data());
        argv.push_back(nullptr);
        if (!std::freopen("/tmp/yz-bench-history.out", "w", stdout))
            _exit(127);
        execv(program.constData(), argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    m.seconds = clock.nsecsElapsed() / 1e9;
    m.peakKiB = usage.ru_maxrss;
    m.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    QFile out(QStringLiteral("/tmp/yz-bench-history.out"));
    if (out.open(QIODevice::ReadOnly))
        m.lines = out.readAll().count('\n');
    return m;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // A file named on the command line is kept (and reused when it exists).
    QTemporaryDir dir;
    const QString file = argc > 1 ? QString::fromLocal8Bit(argv[1]) : dir.filePath(QStringLiteral("results.sqlite"));
    QString error;
    QElapsedTimer clock;
    clock.start();
    if (!QFileInfo::exists(file) && !generate(file, &error)) {
        std::printf("cannot make the database: %s\n", qPrintable(error));
        return 1;
    }
    const double made = clock.nsecsElapsed() / 1e9;
    const double mib = QFileInfo(file).size() / 1048576.0;
    std::printf("history: %d domains x %d nightly runs of all groups (%d cells), made in %.0f s; file %.0f MB "
                "(target < 200)\n",
                kDomains, kNights, kDomains * kNights * int(allMetrics().size()), made, mib * 1.048576);
    const QString lastNight = QDate::currentDate().addDays(-1).toString(Qt::ISODate);
    const QString lastWeek = QDate::currentDate().addDays(-7).toString(Qt::ISODate);
    const struct {
        const char *name;
        QStringList args;
    } reports[] = {
            {"the last night", {"history", "--changed", "--since", lastNight, "--store", file}},
            {"the last week", {"history", "--changed", "--since", lastWeek, "--store", file}},
            {"the whole year", {"history", "--changed", "--store", file}},
            {"one domain's year", {"history", "site7.example.com", "--store", file}},
    };
    for (const auto &report : reports) {
        Measured best;
        for (int round = 0; round < 3; ++round) {
            const Measured m = runReport(report.args);
            if (round == 0 || m.seconds < best.seconds)
                best = m;
        }
        std::printf("history --changed, %-17s %.3f s, peak %.0f MB, %lld lines, exit %d (target < 1 s)\n", report.name,
                    best.seconds, best.peakKiB / 1024.0 * 1.048576, qint64(best.lines), best.exitCode);
    }
    return 0;
}
