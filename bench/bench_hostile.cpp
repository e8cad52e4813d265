// The service under hostile clients: 1,000 idle connections and a client
// trickling its head one byte a second, while a normal client keeps asking
// (its slowest answers are the figure); then a 1 GB request body, with the
// service's peak memory.
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
#include <memory>
#include <vector>

namespace {

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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QProcess server;
    server.setReadChannel(QProcess::StandardError);
    server.start(QStringLiteral(YZ_SERVER),
                 {QStringLiteral("serve"), QStringLiteral("--no-collect"), QStringLiteral("--listen"),
                  QStringLiteral("127.0.0.1:0"), QStringLiteral("--db"), dir.filePath(QStringLiteral("b.sqlite"))});
    int port = 0;
    QByteArray seen;
    while (port == 0 && server.waitForReadyRead(20000)) {
        seen += server.readAllStandardError();
        const auto m = QRegularExpression(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"))
                               .match(QString::fromUtf8(seen));
        if (m.hasMatch())
            port = m.captured(1).toInt();
    }
    if (!port) {
        std::printf("the service did not start\n");
        return 1;
    }
    const QString host = QStringLiteral("127.0.0.1");

    QTcpSocket normal;
    normal.connectToHost(host, quint16(port));
    normal.waitForConnected();
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 1000; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(host, quint16(port));
    }
    QTcpSocket slow;
    slow.connectToHost(host, quint16(port));
    slow.waitForConnected();
    const QByteArray slowHead = "GET /yzupdate/?ver=1 HTTP/1.1\r\nHost: h\r\nX-Slow: ";

    std::vector<double> latencies;
    int failures = 0;
    QElapsedTimer run;
    run.start();
    qint64 nextSlowByte = 0;
    int slowSent = 0;
    while (run.elapsed() < 12'000) {
        if (run.elapsed() >= nextSlowByte) {
            slow.write(slowHead.mid(slowSent++ % slowHead.size(), 1));
            slow.flush();
            nextSlowByte += 1000;
        }
        QElapsedTimer one;
        one.start();
        normal.write("GET /yztool/n/?ver=1 HTTP/1.1\r\nHost: h\r\n\r\n");
        QByteArray reply;
        while (!reply.contains("\r\n\r\n") && normal.waitForReadyRead(2000))
            reply += normal.readAll();
        if (!reply.startsWith("HTTP/1.1 200")) {
            ++failures;
            normal.abort();
            normal.connectToHost(host, quint16(port));
            normal.waitForConnected();
        } else {
            latencies.push_back(double(one.nsecsElapsed()) / 1e6);
        }
        QTest::qWait(50);
    }
    std::sort(latencies.begin(), latencies.end());
    const double p99 = latencies.empty() ? -1 : latencies[size_t(double(latencies.size() - 1) * 0.99)];
    const double worst = latencies.empty() ? -1 : latencies.back();
    std::printf("| normal client with 1,000 idle connections and a slow head | %zu answers, %d failures; p99 %.1f ms, "
                "slowest %.1f ms | every answer < 100 ms | %s |\n",
                latencies.size(), failures, p99, worst, failures == 0 && worst < 100 ? "met" : "MISSED");
    idle.clear();

    const qint64 before = peakKiB(server.processId());
    QTcpSocket big;
    big.connectToHost(host, quint16(port));
    big.waitForConnected();
    big.write("POST /yztool/a/ HTTP/1.1\r\nHost: h\r\nContent-Length: 1073741824\r\n\r\n");
    const QByteArray chunk(1 << 20, 'c');
    qint64 written = 0;
    QByteArray answer;
    while (written < (qint64(1) << 30) && big.state() == QAbstractSocket::ConnectedState) {
        written += std::max<qint64>(0, big.write(chunk));
        big.waitForBytesWritten(100);
        answer += big.readAll();
    }
    answer += big.readAll();
    const qint64 after = peakKiB(server.processId());
    std::printf("| 1 GB request body | answered \"%s\" after %lld MiB sent; service peak memory %lld MiB (before: %lld "
                "MiB) | refused, < 100 MB | %s |\n",
                answer.left(answer.indexOf('\r')).constData(), static_cast<long long>(written >> 20),
                static_cast<long long>(after / 1024), static_cast<long long>(before / 1024),
                answer.startsWith("HTTP/1.1 413") && after < 100 * 1024 ? "met" : "MISSED");
    server.kill();
    server.waitForFinished();
    return 0;
}
