#include "server/ConnectionGuard.h"

#include <QTcpSocket>

#include <sys/socket.h>
#include <unistd.h>

namespace yz::server {
namespace {

// How long a refused client may go on sending before it is dropped.
constexpr qint64 kLingerMs = 2000;

// The value of a header in a raw head, or an empty view; names compare
// without regard to case.
QByteArrayView headerValue(QByteArrayView head, QByteArrayView name)
{
    qsizetype lineStart = head.indexOf('\n') + 1; // after the request line
    while (lineStart > 0 && lineStart < head.size()) {
        qsizetype lineEnd = head.indexOf('\n', lineStart);
        if (lineEnd < 0)
            lineEnd = head.size();
        const QByteArrayView line = head.sliced(lineStart, lineEnd - lineStart);
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.first(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.sliced(colon + 1).trimmed();
        lineStart = lineEnd + 1;
    }
    return {};
}

// Where the head ends (just after its blank line), or -1. Like the server's
// parser, a bare "\n" ends a line as well as "\r\n".
qsizetype headEnd(QByteArrayView bytes, qsizetype from)
{
    for (qsizetype i = bytes.indexOf('\n', from); i >= 0; i = bytes.indexOf('\n', i + 1)) {
        if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
            return i + 2;
        if (i + 2 < bytes.size() && bytes[i + 1] == '\r' && bytes[i + 2] == '\n')
            return i + 3;
    }
    return -1;
}

} // namespace

ConnectionGuard::ConnectionGuard(ConnectionLimits limits, QObject *parent)
    : QTcpServer(parent)
    , m_limits(limits)
{
    m_clock.start();
    m_sweep.setInterval(std::max(50, std::min(1000, m_limits.idleMs / 4)));
    connect(&m_sweep, &QTimer::timeout, this, &ConnectionGuard::sweepIdle);
    m_sweep.start();
    // The kernel's queue of connections not yet accepted.
    setMaxPendingConnections(m_limits.maxConnections);
}

void ConnectionGuard::incomingConnection(qintptr descriptor)
{
    if (m_watches.size() >= m_limits.maxConnections && !makeRoom()) {
        ::close(int(descriptor));
        return;
    }
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        ::close(int(descriptor));
        return;
    }
    watch(socket);
    addPendingConnection(socket);
}

void ConnectionGuard::watch(QTcpSocket *socket)
{
    Watch fresh;
    fresh.lastHeard = m_clock.elapsed();
    m_watches.insert(socket, fresh);
    // Connected before the HTTP server connects its own slot, so this one
    // sees the bytes first.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { inspect(socket); });
    connect(socket, &QObject::destroyed, this, [this, socket] { m_watches.remove(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { m_watches.remove(socket); });
}

void ConnectionGuard::inspect(QTcpSocket *socket)
{
    const auto found = m_watches.find(socket);
    if (found == m_watches.end())
        return;
    Watch &w = found.value();
    w.lastHeard = m_clock.elapsed();
    if (w.refused) {
        socket->readAll(); // discarded: the answer has been given
        return;
    }
    const QByteArray data = socket->peek(socket->bytesAvailable());
    int status = 0;
    QByteArray reason;
    if (!account(w, data, &status, &reason))
        refuse(socket, w, status, reason);
}

bool ConnectionGuard::account(Watch &w, QByteArrayView data, int *status, QByteArray *reason)
{
    while (!data.isEmpty()) {
        if (w.inBody) {
            const qint64 used = std::min<qint64>(w.bodyLeft, data.size());
            w.bodyLeft -= used;
            data = data.sliced(used);
            if (w.bodyLeft == 0)
                w.inBody = false;
            continue;
        }
        // Look for the end of the head, also across the previous bytes.
        const qsizetype before = w.head.size();
        const qsizetype room = m_limits.maxHead + 4 - before;
        w.head.append(data.first(std::min<qsizetype>(data.size(), room)));
        const qsizetype end = headEnd(w.head, std::max<qsizetype>(0, before - 3));
        if (end < 0) {
            if (w.head.size() > m_limits.maxHead) {
                *status = 431;
                *reason = "Request Header Fields Too Large";
                return false;
            }
            return true;
        }
        const qsizetype headLength = end;
        if (headLength > m_limits.maxHead) {
            *status = 431;
            *reason = "Request Header Fields Too Large";
            return false;
        }
        if (!headerValue(w.head.first(end), "Transfer-Encoding").isEmpty()) {
            *status = 411;
            *reason = "Length Required";
            return false;
        }
        const QByteArrayView lengthText = headerValue(w.head.first(end), "Content-Length");
        bool ok = true;
        const qint64 length = lengthText.isEmpty() ? 0 : lengthText.toLongLong(&ok);
        if (!ok || length < 0) {
            *status = 400;
            *reason = "Bad Request";
            return false;
        }
        if (length > m_limits.maxBody) {
            *status = 413;
            *reason = "Content Too Large";
            return false;
        }
        data = data.sliced(headLength - before);
        w.head.clear();
        w.bodyLeft = length;
        w.inBody = length > 0;
    }
    return true;
}

void ConnectionGuard::refuse(QTcpSocket *socket, Watch &w, int status, const QByteArray &reason)
{
    w.refused = true;
    socket->readAll(); // the server never parses what was refused
    const QByteArray body = reason + '\n';
    socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\nContent-Type: text/plain\r\n"
                  + "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    // A lingering close: once the answer is out, only the sending half is
    // shut, and what the client goes on sending is read and dropped for a
    // while. Closing at once would make the client's system reset the
    // connection and throw the unread answer away.
    w.refusedAt = m_clock.elapsed();
    const auto shutWhenSent = [socket] {
        if (socket->bytesToWrite() == 0 && socket->state() == QAbstractSocket::ConnectedState)
            ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
    };
    connect(socket, &QTcpSocket::bytesWritten, this, shutWhenSent);
    socket->flush();
    shutWhenSent();
}

void ConnectionGuard::sweepIdle()
{
    const qint64 now = m_clock.elapsed();
    QList<QTcpSocket *> silent;
    for (auto it = m_watches.cbegin(); it != m_watches.cend(); ++it) {
        const Watch &w = it.value();
        if (now - w.lastHeard >= m_limits.idleMs || (w.refused && now - w.refusedAt >= kLingerMs))
            silent.append(it.key());
    }
    for (QTcpSocket *socket : silent) {
        m_watches.remove(socket);
        socket->abort();
    }
}

bool ConnectionGuard::makeRoom()
{
    QTcpSocket *oldest = nullptr;
    qint64 oldestHeard = m_clock.elapsed() - m_limits.evictAfterMs;
    for (auto it = m_watches.cbegin(); it != m_watches.cend(); ++it) {
        if (it.value().lastHeard <= oldestHeard) {
            oldest = it.key();
            oldestHeard = it.value().lastHeard;
        }
    }
    if (!oldest)
        return false;
    m_watches.remove(oldest);
    oldest->abort();
    return true;
}

} // namespace yz::server
