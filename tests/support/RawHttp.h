#pragma once

// A test's own HTTP client: raw bytes out, one answer read back by its
// length, so that tests see exactly what the service sends.
#include <QByteArray>
#include <QDeadlineTimer>
#include <QTcpSocket>

namespace yztest {

struct Answer {
    int status = 0;
    QByteArray head;
    QByteArray body;
    bool closed = false; // the server closed the connection

    QByteArray header(const QByteArray &name) const
    {
        for (const QByteArray &line : head.split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.first(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
                return line.sliced(colon + 1).trimmed();
        }
        return {};
    }
};

// Sends raw bytes and reads one answer (its head and Content-Length bytes).
inline Answer exchange(int port, const QByteArray &request, int timeoutMs = 10000)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
    Answer answer;
    if (!socket.waitForConnected(timeoutMs))
        return answer;
    socket.write(request);
    QByteArray data;
    QDeadlineTimer deadline(timeoutMs);
    qsizetype headEnd = -1;
    qint64 length = -1;
    while (!deadline.hasExpired()) {
        if (headEnd < 0 && (headEnd = data.indexOf("\r\n\r\n")) >= 0) {
            answer.head = data.first(headEnd);
            answer.status = data.mid(9, 3).toInt();
            length = answer.header("Content-Length").toLongLong();
        }
        if (headEnd >= 0 && data.size() >= headEnd + 4 + length) {
            answer.body = data.mid(headEnd + 4, length);
            return answer;
        }
        if (socket.state() != QAbstractSocket::ConnectedState && !socket.bytesAvailable()) {
            answer.closed = true;
            return answer;
        }
        if (socket.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime()))))
            data += socket.readAll();
    }
    return answer;
}

inline Answer get(int port, const QByteArray &target)
{
    return exchange(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nIf-Modified-Since: 0\r\n\r\n");
}

inline Answer post(int port, const QByteArray &target, const QByteArray &body)
{
    return exchange(port,
                    "POST " + target
                            + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
                              "application/x-www-form-urlencoded\r\nContent-Length: "
                            + QByteArray::number(body.size()) + "\r\n\r\n" + body);
}

} // namespace yztest
