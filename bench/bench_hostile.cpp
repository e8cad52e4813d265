// The service while one party misbehaves: a normal keep-alive client asks a
// cached answer twenty times a second and a new client connects twice a
// second, and their p99 and slowest answers are the figures, while 600
// connections trickle their heads, a client pipelines 8,000 requests over
// and over, PostgreSQL is frozen for 30 s (SIGSTOP), and a ranks import of
// 2,000,000 rows holds SQLite's write lock. Then bodies that try to get past
// the size limit, with the service's peak memory.
#include "tests/support/PostgresCluster.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

const QString kHost = QStringLiteral("127.0.0.1");
const QByteArray kCached = "GET /yztool/n/?ver=1 HTTP/1.1\r\nHost: h\r\n\r\n";

qint64 peakKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

class Service {
public:
    explicit Service(const QString &db)
    {
        m_process.setReadChannel(QProcess::StandardError);
        m_process.start(QStringLiteral(YZ_SERVER),
                        {QStringLiteral("serve"), QStringLiteral("--no-collect"), QStringLiteral("--no-access-log"),
                         QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--admin-listen"),
                         QStringLiteral("127.0.0.1:0"), QStringLiteral("--db"), db});
        QByteArray seen;
        while (m_port == 0 && m_process.waitForReadyRead(20000)) {
            seen += m_process.readAllStandardError();
            const auto m = QRegularExpression(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"))
                                   .match(QString::fromUtf8(seen));
            if (m.hasMatch())
                m_port = quint16(m.captured(1).toInt());
        }
    }
    ~Service()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    quint16 port() const { return m_port; }
    qint64 pid() const { return m_process.processId(); }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

// One request on a connection, reading its head; the milliseconds taken or -1.
double ask(QTcpSocket &socket, const QByteArray &request, int *status)
{
    QElapsedTimer one;
    one.start();
    socket.write(request);
    QByteArray reply;
    QDeadlineTimer deadline(3000);
    while (!reply.contains("\r\n\r\n") && !deadline.hasExpired()) {
        QTest::qWait(0);
        if (!socket.bytesAvailable())
            socket.waitForReadyRead(1);
        reply += socket.readAll();
    }
    // The news body is empty: the head is the whole answer.
    *status = reply.mid(9, 3).toInt();
    return reply.contains("\r\n\r\n") ? double(one.nsecsElapsed()) / 1e6 : -1;
}

struct Figures {
    std::vector<double> latencies;
    int failures = 0;
    int newClients = 0;
    int newFailures = 0;
};

// The normal clients for `ms` while `load` runs (called between requests).
Figures measureWhile(quint16 port, qint64 ms, const std::function<void()> &load)
{
    Figures f;
    QTcpSocket normal;
    normal.connectToHost(kHost, port);
    normal.waitForConnected(3000);
    QElapsedTimer run;
    run.start();
    qint64 nextNew = 0;
    while (run.elapsed() < ms) {
        load();
        int status = 0;
        const double taken = ask(normal, kCached, &status);
        if (taken < 0 || status != 200) {
            ++f.failures;
            normal.abort();
            normal.connectToHost(kHost, port);
            normal.waitForConnected(3000);
        } else {
            f.latencies.push_back(taken);
        }
        if (run.elapsed() >= nextNew) {
            nextNew += 500;
            QTcpSocket fresh;
            fresh.connectToHost(kHost, port);
            ++f.newClients;
            if (!fresh.waitForConnected(3000) || ask(fresh, kCached, &status) < 0 || status != 200)
                ++f.newFailures;
        }
        load();
        QTest::qWait(50);
    }
    return f;
}

void report(const char *what, Figures f)
{
    std::sort(f.latencies.begin(), f.latencies.end());
    const double p99 = f.latencies.empty() ? -1 : f.latencies[size_t(double(f.latencies.size() - 1) * 0.99)];
    const double worst = f.latencies.empty() ? -1 : f.latencies.back();
    const bool met = f.failures == 0 && f.newFailures == 0 && p99 >= 0 && p99 < 20;
    std::printf("| normal client while %s | %zu answers, %d failed; new clients %d of %d served; p99 %.1f ms, "
                "slowest %.1f ms | p99 < 20 ms, no failure | %s |\n",
                what, f.latencies.size(), f.failures, f.newClients - f.newFailures, f.newClients, p99, worst,
                met ? "met" : "MISSED");
    std::fflush(stdout);
}

// The misbehaving clients run in a process of their own (this program with
// "--load KIND PORT"), so that their work never delays the measured client.
int runLoad(const QString &kind, quint16 port)
{
    if (kind == QLatin1String("trickle")) {
        std::vector<std::unique_ptr<QTcpSocket>> crowd;
        for (int i = 0; i < 600; ++i) {
            crowd.push_back(std::make_unique<QTcpSocket>());
            crowd.back()->connectToHost(kHost, port);
        }
        const QByteArray head = "GET /yzupdate/?ver=1 HTTP/1.1\r\nHost: h\r\nX-Slow: " + QByteArray(4000, 's');
        for (qint64 sent = 0;; ++sent) {
            QTest::qWait(1000);
            for (auto &socket : crowd) {
                socket->readAll();
                if (socket->state() == QAbstractSocket::UnconnectedState) {
                    // Cut off or evicted: it comes back, as an attacker would.
                    socket->connectToHost(kHost, port);
                    continue;
                }
                socket->write(head.mid(qsizetype(sent % (head.size() - 4)), 4));
            }
        }
    }
    QByteArray flood;
    for (int i = 0; i < 8000; ++i)
        flood += "GET /yzupdate/ HTTP/1.1\r\nHost: h\r\n\r\n";
    for (;;) {
        QTcpSocket flooder;
        flooder.connectToHost(kHost, port);
        flooder.waitForConnected(1000);
        flooder.write(flood);
        while (flooder.state() == QAbstractSocket::ConnectedState && flooder.waitForReadyRead(2000))
            flooder.readAll();
        std::printf("round\n");
        std::fflush(stdout);
    }
}

Figures measureWithLoad(const QString &kind, quint16 port, qint64 ms, int *rounds)
{
    QProcess load;
    load.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--load"), kind, QString::number(port)});
    load.waitForStarted();
    QTest::qWait(2000); // the load in full swing
    Figures f = measureWhile(port, ms, [] {});
    load.kill();
    load.waitForFinished();
    *rounds = int(load.readAllStandardOutput().count("round"));
    return f;
}

void frozenPostgres()
{
    yztest::PostgresCluster cluster;
    if (!cluster.ok()) {
        std::printf("| frozen PostgreSQL | no PostgreSQL server could be started |  | skipped |\n");
        return;
    }
    Service service(cluster.url());
    QTcpSocket warm;
    warm.connectToHost(kHost, service.port());
    warm.waitForConnected(3000);
    int status = 0;
    ask(warm, kCached, &status);
    cluster.pause();
    int uncached = 0, fastRefusals = 0;
    QElapsedTimer probe;
    probe.start();
    report("PostgreSQL is frozen (SIGSTOP) for 30 s", measureWhile(service.port(), 30'000, [&] {
               if (probe.elapsed() < 2000)
                   return;
               probe.restart();
               // A page that needs the database: refused within a second.
               QTcpSocket socket;
               socket.connectToHost(kHost, service.port());
               socket.waitForConnected(1000);
               const double taken =
                       ask(socket, "GET /d" + QByteArray::number(++uncached) + ".example HTTP/1.1\r\nHost: h\r\n\r\n",
                           &status);
               if (status == 503 && taken >= 0 && taken < 1000)
                   ++fastRefusals;
           }));
    cluster.resume();
    std::printf("| answers needing the frozen database | %d of %d refused with 503 within 1 s | all | %s |\n",
                fastRefusals, uncached, fastRefusals == uncached ? "met" : "MISSED");
}

void rankImport(const QTemporaryDir &dir)
{
    const QString db = dir.filePath(QStringLiteral("import.sqlite"));
    Service service(db);
    QProcess import;
    import.start(QStringLiteral(YZ_SERVER),
                 {QStringLiteral("ranks"), QStringLiteral("import"), QStringLiteral("-"), QStringLiteral("--db"), db});
    import.waitForStarted();
    QByteArray rows;
    for (int i = 1; i <= 2'000'000; ++i)
        rows += QByteArray::number(i) + "\t1\t1\t1\tcom.site" + QByteArray::number(i) + '\n';
    import.write(rows);
    import.closeWriteChannel();
    rows.clear();
    int suggestions = 0, refusedOrStored = 0;
    QElapsedTimer probe;
    probe.start();
    report("a ranks import of 2,000,000 rows holds SQLite's lock", measureWhile(service.port(), 10'000, [&] {
               if (probe.elapsed() < 1000)
                   return;
               probe.restart();
               QTcpSocket socket;
               socket.connectToHost(kHost, service.port());
               socket.waitForConnected(1000);
               int status = 0;
               const double taken =
                       ask(socket, "POST /yztool/a/ HTTP/1.1\r\nHost: h\r\nContent-Length: 3\r\n\r\nc=x", &status);
               ++suggestions;
               if ((status == 200 || status == 503) && taken >= 0 && taken < 1000)
                   ++refusedOrStored;
           }));
    import.waitForFinished(120000);
    std::printf("| suggestions during the import | %d of %d answered (stored or 503) within 1 s | all | %s |\n",
                refusedOrStored, suggestions, refusedOrStored == suggestions ? "met" : "MISSED");
}

void bodies(const QTemporaryDir &dir)
{
    Service service(dir.filePath(QStringLiteral("bodies.sqlite")));
    QStringList answers;
    const auto send = [&](const QByteArray &head, qint64 bytes) {
        QTcpSocket socket;
        socket.connectToHost(kHost, service.port());
        socket.waitForConnected(3000);
        socket.write(head);
        const QByteArray chunk(1 << 20, 'c');
        qint64 written = 0;
        QByteArray answer;
        while (written < bytes && socket.state() == QAbstractSocket::ConnectedState) {
            written += std::max<qint64>(0, socket.write(chunk));
            socket.waitForBytesWritten(100);
            answer += socket.readAll();
        }
        answer += socket.readAll();
        answers.append(QString::fromLatin1(answer.left(answer.indexOf('\r'))));
    };
    for (int i = 0; i < 2; ++i)
        send("POST /yztool/a/ HTTP/1.1\r\nHost: h\r\nX-A: b\r\n Content-Length: 0\r\nContent-Length: "
             "104857600\r\n\r\nc=",
             qint64(100) << 20);
    send("POST /yztool/a/ HTTP/1.1\r\nHost: h\r\nContent-Length: 1073741824\r\n\r\nc=", qint64(1) << 30);
    const qint64 peak = peakKiB(service.pid());
    const bool refused = answers.size() == 3 && answers[0].startsWith(QLatin1String("HTTP/1.1 400"))
            && answers[2].startsWith(QLatin1String("HTTP/1.1 413"));
    std::printf("| two 100 MB bodies behind a folded length, one 1 GB body | answered \"%s\", \"%s\"; service peak "
                "memory %lld MiB | refused, < 100 MB | %s |\n",
                qPrintable(answers.value(0)), qPrintable(answers.value(2)), static_cast<long long>(peak / 1024),
                refused && peak < 100 * 1024 ? "met" : "MISSED");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && QByteArrayView(argv[1]) == "--load")
        return runLoad(QString::fromLatin1(argv[2]), quint16(QByteArray(argv[3]).toInt()));
    QTemporaryDir dir;
    {
        Service service(dir.filePath(QStringLiteral("b.sqlite")));
        if (!service.port()) {
            std::printf("the service did not start\n");
            return 1;
        }
        int rounds = 0;
        report("600 connections trickle their heads at 4 bytes/s",
               measureWithLoad(QStringLiteral("trickle"), service.port(), 15'000, &rounds));
        report("a client pipelines 8,000 requests again and again",
               measureWithLoad(QStringLiteral("pipeline"), service.port(), 10'000, &rounds));
        std::printf("| (pipelined floods of 8,000 sent meanwhile: %d) |  |  |  |\n", rounds);
    }
    frozenPostgres();
    rankImport(dir);
    bodies(dir);
    return 0;
}
