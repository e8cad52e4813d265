#include "server/HttpThreads.h"

#include "server/SharedAnswers.h"
#include "server/VendorService.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace yz::server {

// One thread's event loop, guard and service; made and destroyed on the
// thread itself.
class HttpThreads::Thread : public QThread {
public:
    Thread(int descriptor, ConnectionLimits limits, std::atomic<int> *open, ServiceConfig config,
           DatabaseThread &database, SharedAnswers &shared)
        : m_descriptor(descriptor)
        , m_limits(limits)
        , m_open(open)
        , m_config(std::move(config))
        , m_database(database)
        , m_shared(shared)
    {
    }

    ConnectionGuard *guard() const { return m_guard.load(); }
    QSemaphore listening; // released once the thread listens, or has failed to
    QSemaphore go; // released when it may answer
    QString failure; // why it could not, written before the release

protected:
    void run() override
    {
        // The service takes the guard as its own and deletes it.
        auto *guard = new ConnectionGuard(m_limits);
        guard->shareConnectionCount(m_open);
        if (!guard->setSocketDescriptor(m_descriptor)) {
            ::close(m_descriptor);
            failure = guard->errorString();
            delete guard;
            listening.release();
            return;
        }
        VendorService service(m_config, m_database, m_shared);
        service.serveOn(guard);
        m_guard = guard;
        listening.release();
        go.acquire();
        exec();
        m_guard = nullptr;
    }

private:
    int m_descriptor;
    ConnectionLimits m_limits;
    std::atomic<int> *m_open;
    ServiceConfig m_config;
    DatabaseThread &m_database;
    SharedAnswers &m_shared;
    std::atomic<ConnectionGuard *> m_guard = nullptr;
};

namespace {

// A listening socket of a group sharing `port` on `address`; -1 with the
// reason.
int sharedListener(const QHostAddress &address, quint16 port, int backlog, QString *error)
{
    sockaddr_storage storage{};
    socklen_t length = 0;
    const bool v6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    if (v6) {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, &bytes, sizeof bytes);
        length = sizeof *in6;
    } else {
        auto *in4 = reinterpret_cast<sockaddr_in *>(&storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port);
        in4->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof *in4;
    }
    const int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (fd >= 0 && ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0
        && ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on) == 0
        && (!v6 || ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) == 0)
        && ::bind(fd, reinterpret_cast<sockaddr *>(&storage), length) == 0 && ::listen(fd, backlog) == 0)
        return fd;
    *error = QString::fromLocal8Bit(std::strerror(errno));
    if (fd >= 0)
        ::close(fd);
    return -1;
}

} // namespace

HttpThreads::HttpThreads(int count, ConnectionLimits limits)
    : m_count(std::max(1, count))
    , m_limits(limits)
{
}

HttpThreads::~HttpThreads()
{
    for (Thread *thread : std::as_const(m_threads)) {
        thread->go.release(); // a thread still waiting to answer ends at once
        thread->quit();
        thread->wait();
        delete thread;
    }
    for (int fd : std::as_const(m_descriptors))
        ::close(fd);
}

bool HttpThreads::listen(const ListenAddress &where, QString *error)
{
    // Qt's own listener takes the address first, so that an address in use
    // (by anyone, another group of shared sockets included) is refused with
    // Qt's words, and a port of 0 is chosen.
    QTcpServer probe;
    probe.setListenBacklogSize(m_limits.maxConnections);
    if (!probe.listen(where.address, where.port)) {
        *error = probe.errorString();
        return false;
    }
    m_port = probe.serverPort();
    if (m_count == 1) {
        const int fd = ::fcntl(int(probe.socketDescriptor()), F_DUPFD_CLOEXEC, 0);
        if (fd < 0) {
            *error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        m_descriptors.append(fd);
        return true;
    }
    probe.close();
    for (int i = 0; i < m_count; ++i) {
        const int fd = sharedListener(where.address, m_port, m_limits.maxConnections, error);
        if (fd < 0)
            return false;
        m_descriptors.append(fd);
    }
    return true;
}

bool HttpThreads::start(const ServiceConfig &config, DatabaseThread &database, SharedAnswers &shared, QString *error)
{
    const QList<int> descriptors = std::exchange(m_descriptors, {});
    for (int fd : descriptors) {
        auto *thread = new Thread(fd, m_limits, &m_open, config, database, shared);
        thread->setObjectName(QStringLiteral("http"));
        m_threads.append(thread);
        thread->start();
        thread->listening.acquire();
        if (!thread->failure.isEmpty()) {
            *error = thread->failure;
            for (int left : descriptors.mid(descriptors.indexOf(fd) + 1))
                ::close(left);
            return false;
        }
    }
    return true;
}

void HttpThreads::serve()
{
    for (Thread *thread : std::as_const(m_threads))
        thread->go.release();
}

void HttpThreads::stopAccepting()
{
    for (Thread *thread : std::as_const(m_threads))
        if (ConnectionGuard *guard = thread->guard())
            QMetaObject::invokeMethod(
                    guard, [guard] { guard->stopListening(); }, Qt::BlockingQueuedConnection);
}

int HttpThreads::busyConnections() const
{
    int busy = 0;
    for (Thread *thread : m_threads) {
        ConnectionGuard *guard = thread->guard();
        int own = 0;
        if (guard)
            QMetaObject::invokeMethod(
                    guard, [guard, &own] { own = guard->busyConnections(); }, Qt::BlockingQueuedConnection);
        busy += own;
    }
    return busy;
}

} // namespace yz::server
