#include "server/ConnectionGuard.h"

#include "server/Log.h"
#include "server/Metrics.h"

#include <QTcpSocket>

#include <sys/socket.h>
#include <unistd.h>

namespace yz::server {
namespace {

// How long a refused client may go on sending before it is dropped.
constexpr qint64 kLingerMs = 2000;
// A request the server took and never answered (its parser refused what the
// framing let through) ends the connection after this long.
constexpr qint64 kAnswerMs = 5000;

Metrics::Refusal refusalOf(HttpStatus status)
{
    switch (status) {
    case HttpStatus::RequestTimeout:
        return Metrics::Refusal::Timeout;
    case HttpStatus::ContentTooLarge:
    case HttpStatus::HeaderFieldsTooLarge:
        return Metrics::Refusal::TooLarge;
    default:
        return Metrics::Refusal::Malformed;
    }
}

// What a refused client is told, for a person reading it.
QByteArray refusalText(HttpStatus status)
{
    switch (status) {
    case HttpStatus::RequestTimeout:
        return QByteArrayLiteral("请求没有及时送达。\n");
    case HttpStatus::LengthRequired:
        return QByteArrayLiteral("请求须注明长度（Content-Length）。\n");
    case HttpStatus::ContentTooLarge:
    case HttpStatus::HeaderFieldsTooLarge:
        return QByteArrayLiteral("请求太大。\n");
    default:
        return QByteArrayLiteral("请求的格式不对。\n");
    }
}

} // namespace

ConnectionGuard::ConnectionGuard(ConnectionLimits limits, QObject *parent)
    : QTcpServer(parent)
    , m_limits(limits)
{
    m_clock.start();
    const int shortest = std::min({m_limits.idleMs, m_limits.headTimeoutMs, m_limits.bodyTimeoutMs});
    m_sweep.setInterval(std::max(50, std::min(1000, shortest / 4)));
    connect(&m_sweep, &QTimer::timeout, this, &ConnectionGuard::sweep);
    m_sweep.start();
    setMaxPendingConnections(m_limits.maxConnections);
    // The kernel's queue of connections not yet accepted: with Qt's default
    // of 50, a crowd at the limit makes the kernel drop the SYNs of new
    // clients, who then wait seconds for the retry.
    setListenBacklogSize(m_limits.maxConnections);
}

void ConnectionGuard::incomingConnection(qintptr descriptor)
{
    // At the limit, the place of a connection this guard gives up.
    if (!claimPlace() && !(makeRoom() && claimPlace())) {
        ::close(int(descriptor));
        metrics().countRefusal(Metrics::Refusal::Connections);
        noteFull();
        return;
    }
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        ::close(int(descriptor));
        if (m_total)
            m_total->fetch_sub(1, std::memory_order_relaxed);
        return;
    }
    watch(socket);
    addPendingConnection(socket);
}

// Guards on several threads take places from one count: checking and taking
// are one step, so that two of them cannot both take the last place.
bool ConnectionGuard::claimPlace()
{
    if (!m_total)
        return m_watches.size() < m_limits.maxConnections;
    int open = m_total->load(std::memory_order_relaxed);
    while (open < m_limits.maxConnections)
        if (m_total->compare_exchange_weak(open, open + 1, std::memory_order_relaxed))
            return true;
    return false;
}

void ConnectionGuard::stopListening()
{
    if (!isListening())
        return;
    waitForNewConnection(0); // accepts what is queued, without waiting
    close();
}

void ConnectionGuard::watch(QTcpSocket *socket)
{
    Watch fresh;
    fresh.framer = RequestFramer(m_limits.maxHead, m_limits.maxBody);
    fresh.waitingSince = fresh.lastHeard = m_clock.elapsed();
    m_watches.insert(socket, fresh); // its place in a shared count is already taken
    // Connected before the HTTP server connects its own slot, so this one
    // takes the bytes first.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { inspect(socket); });
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { resume(socket); });
    connect(socket, &QObject::destroyed, this, [this, socket] { forget(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { forget(socket); });
}

void ConnectionGuard::inspect(QTcpSocket *socket)
{
    const auto found = m_watches.find(socket);
    if (found == m_watches.end()) {
        socket->readAll();
        return;
    }
    // The server's reader opens a transaction when it finds nothing to read;
    // it never holds part of a request, so there is nothing to keep.
    if (socket->isTransactionStarted())
        socket->commitTransaction();
    // Read inside a transaction of our own: when the bytes turn out to be
    // exactly the one request handed over next, rolling the read back leaves
    // them where the server reads them, instead of putting them back byte by byte.
    socket->startTransaction();
    m_justRead = socket->readAll();
    take(socket, found.value(), m_justRead);
    if (socket->isTransactionStarted())
        socket->commitTransaction();
    m_justRead.clear();
}

void ConnectionGuard::take(QTcpSocket *socket, Watch &w, const QByteArray &data)
{
    if (!data.isEmpty())
        w.lastHeard = m_clock.elapsed();
    if (w.refused)
        return; // discarded: the answer has been given
    if (w.lastQueued || w.pendingRefusal) {
        // Nothing more is taken; what is queued is still answered.
        if (!w.inFlight)
            handOver(socket, w);
        return;
    }
    const RequestFramer::State before = w.framer.state();
    // Framed no further than one past what the queue can take: a flood of
    // pipelined requests costs no more than the requests it may queue.
    QList<FramedRequest> complete;
    const qsizetype room = m_limits.maxQueued - w.ready.size() + 2; // one to hand over, one to see the overflow
    std::optional<FramingError> error = w.framer.feed(data, complete, room);
    if (before == RequestFramer::State::Idle && w.framer.state() != RequestFramer::State::Idle)
        w.waitingSince = w.lastHeard;
    for (FramedRequest &request : complete) {
        const bool fits = w.ready.isEmpty()
                || (w.ready.size() < m_limits.maxQueued
                    && w.readyBytes + request.bytes.size() <= m_limits.maxQueuedBytes);
        if (!fits || w.handedOver + w.ready.size() >= m_limits.maxRequests) {
            w.lastQueued = true;
            metrics().countRefusal(Metrics::Refusal::Pipeline);
            error.reset();
            break;
        }
        w.readyBytes += request.bytes.size();
        w.ready.append(std::move(request));
        w.waitingSince = w.lastHeard;
    }
    if (error) {
        if (w.inFlight || !w.ready.isEmpty())
            w.pendingRefusal = error; // after the answers already owed
        else
            refuse(socket, w, *error);
        return;
    }
    if (!w.inFlight)
        handOver(socket, w);
}

// Puts the next complete request where the server's reader will find it:
// this slot runs before the server's for the same readyRead.
void ConnectionGuard::handOver(QTcpSocket *socket, Watch &w)
{
    // A client that does not read its answers gets no more of them.
    if (socket->bytesToWrite() > m_limits.maxUnsent)
        return;
    if (w.ready.isEmpty()) {
        if (w.pendingRefusal)
            refuse(socket, w, *std::exchange(w.pendingRefusal, std::nullopt));
        else if (w.lastQueued)
            drop(socket);
        return;
    }
    FramedRequest request = w.ready.takeFirst();
    w.readyBytes -= request.bytes.size();
    ++w.handedOver;
    w.inFlight = true;
    w.headOnly = request.headOnly;
    w.closeAfter = !request.keepAlive || w.handedOver >= m_limits.maxRequests
            || (w.ready.isEmpty() && (w.lastQueued || w.pendingRefusal));
    w.lastHeard = m_clock.elapsed();
    if (socket->isTransactionStarted() && w.ready.isEmpty() && request.bytes == m_justRead) {
        socket->rollbackTransaction();
        return;
    }
    if (socket->isTransactionStarted())
        socket->commitTransaction();
    for (qsizetype i = request.bytes.size() - 1; i >= 0; --i)
        socket->ungetChar(request.bytes.at(i));
}

// The client took some of its answers: what was held back goes on.
void ConnectionGuard::resume(QTcpSocket *socket)
{
    const auto found = m_watches.find(socket);
    if (found == m_watches.end() || found->refused)
        return;
    found->lastHeard = m_clock.elapsed();
    if (!found->inFlight && socket->bytesToWrite() <= m_limits.maxUnsent)
        wakeForNext(socket, *found);
}

// The next request goes through this guard's slot, then the server's.
void ConnectionGuard::wakeForNext(QTcpSocket *socket, const Watch &w)
{
    if (!w.ready.isEmpty() || w.pendingRefusal)
        QMetaObject::invokeMethod(socket, &QTcpSocket::readyRead, Qt::QueuedConnection);
}

int ConnectionGuard::busyConnections() const
{
    int busy = 0;
    for (auto it = m_watches.cbegin(); it != m_watches.cend(); ++it)
        if (it->inFlight || !it->ready.isEmpty() || it.key()->bytesToWrite() > 0 || it.key()->bytesAvailable() > 0
            || it->framer.state() != RequestFramer::State::Idle)
            ++busy;
    return busy;
}

void ConnectionGuard::respond(QTcpSocket *socket, const QByteArray &head, const QByteArray &body)
{
    const auto found = m_watches.find(socket);
    if (found == m_watches.end() || !found->inFlight)
        return;
    Watch &w = found.value();
    w.inFlight = false;
    const bool close = w.closeAfter || (w.ready.isEmpty() && w.lastQueued);
    constexpr qsizetype kFraming = 64; // the length, the connection's fate and the blank line
    QByteArray answer;
    answer.reserve(head.size() + kFraming + (w.headOnly ? 0 : body.size())); // one allocation, one copy
    answer += head;
    answer += "\r\nContent-Length: " + QByteArray::number(body.size());
    if (close)
        answer += "\r\nConnection: close";
    answer += "\r\n\r\n";
    if (!w.headOnly)
        answer += body;
    socket->write(answer);
    w.lastHeard = m_clock.elapsed();
    if (w.ready.isEmpty())
        w.waitingSince = w.lastHeard;
    if (close) {
        forget(socket);
        socket->disconnectFromHost(); // once the answer is out
        return;
    }
    wakeForNext(socket, w);
}

void ConnectionGuard::refuse(QTcpSocket *socket, Watch &w, const FramingError &error)
{
    w.refused = true;
    w.ready.clear();
    metrics().countRefusal(refusalOf(error.status));
    // Counted and logged like every answer, so that a refusal shows in the
    // request counts and the access log with its reason.
    const int status = code(error.status);
    const QByteArray reason = reasonPhrase(error.status);
    metrics().countRequest("refused", status, 0);
    qCInfo(lcServe, "refused %s: %d %s", qPrintable(socket->peerAddress().toString()), status, reason.constData());
    qCInfo(lcAccess, "%s - - %d 0 refused: %s", qPrintable(socket->peerAddress().toString()), status,
           reason.constData());
    const QByteArray body = refusalText(error.status);
    socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason
                  + "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " + QByteArray::number(body.size())
                  + "\r\nConnection: close\r\n\r\n" + body);
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

void ConnectionGuard::sweep()
{
    const qint64 now = m_clock.elapsed();
    QList<QTcpSocket *> expired;
    QList<QTcpSocket *> late;
    for (auto it = m_watches.begin(); it != m_watches.end(); ++it) {
        const Watch &w = it.value();
        if (w.refused) {
            if (now - w.refusedAt >= kLingerMs)
                expired.append(it.key());
            continue;
        }
        if (w.inFlight) {
            if (now - w.lastHeard >= kAnswerMs)
                expired.append(it.key());
            continue;
        }
        if (!w.ready.isEmpty()) {
            // Held back until the client reads its answers.
            if (now - w.lastHeard >= m_limits.idleMs)
                expired.append(it.key());
            continue;
        }
        const qint64 waited = now - w.waitingSince;
        switch (w.framer.state()) {
        case RequestFramer::State::Idle:
            if (waited >= m_limits.idleMs)
                expired.append(it.key());
            break;
        case RequestFramer::State::Head:
            if (waited >= m_limits.headTimeoutMs)
                late.append(it.key());
            break;
        case RequestFramer::State::Body:
            // The body's time runs from the end of its head; the head had
            // its own deadline, so head and body together get both.
            if (waited >= m_limits.headTimeoutMs + m_limits.bodyTimeoutMs)
                late.append(it.key());
            break;
        }
    }
    for (QTcpSocket *socket : expired)
        drop(socket);
    for (QTcpSocket *socket : late)
        refuse(socket, m_watches[socket], FramingError{HttpStatus::RequestTimeout});
}

bool ConnectionGuard::makeRoom()
{
    // Whoever has waited longest without completing a request gives way;
    // connections with a request being answered or queued are kept.
    QTcpSocket *longest = nullptr;
    qint64 since = m_clock.elapsed() - m_limits.evictAfterMs;
    for (auto it = m_watches.cbegin(); it != m_watches.cend(); ++it) {
        const Watch &w = it.value();
        const qint64 waiting = w.refused ? -1 : w.waitingSince;
        if (w.inFlight || !w.ready.isEmpty() || waiting > since)
            continue;
        longest = it.key();
        since = waiting;
    }
    if (!longest)
        return false;
    metrics().countRefusal(Metrics::Refusal::Connections);
    drop(longest);
    return true;
}

// At the connection limit, one line when it is first reached and then at
// most one a minute saying how many were turned away meanwhile.
void ConnectionGuard::noteFull()
{
    constexpr qint64 kQuietMs = 60'000;
    ++m_turnedAway;
    const qint64 now = m_clock.elapsed();
    if (m_lastFullNote >= 0 && now - m_lastFullNote < kQuietMs)
        return;
    qCWarning(lcServe, "at the connection limit (--max-connections %d): %lld clients turned away",
              m_limits.maxConnections, m_turnedAway);
    m_lastFullNote = now;
    m_turnedAway = 0;
}

void ConnectionGuard::drop(QTcpSocket *socket)
{
    forget(socket);
    socket->abort();
}

void ConnectionGuard::forget(QTcpSocket *socket)
{
    if (m_watches.remove(socket) && m_total)
        m_total->fetch_sub(1, std::memory_order_relaxed);
}

} // namespace yz::server
