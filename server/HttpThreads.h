#pragma once

#include "server/ConnectionGuard.h"
#include "server/ServeOptions.h"

#include <QList>
#include <QSemaphore>
#include <QThread>

#include <atomic>
#include <memory>

namespace yz::server {

class DatabaseThread;
class SharedAnswers;

// The threads that answer the public listener, each with an event loop, a
// listening socket, a connection guard and a VendorService of its own, so
// that framing, routing and writing answers use every core. With more than
// one, their sockets share the port (SO_REUSEPORT) and the kernel spreads
// new connections over them; they share the database thread, the answers
// kept and the count of connections that --max-connections bounds.
class HttpThreads {
public:
    HttpThreads(int count, ConnectionLimits limits);
    ~HttpThreads(); // stops the threads (and the services on them)

    // Takes the address: false with the reason when it is in use or not
    // this host's. A port of 0 is chosen here and shared by every thread.
    bool listen(const ListenAddress &where, QString *error);
    quint16 port() const { return m_port; }

    // Makes every thread's guard and service; returns once each listens, or
    // false with the reason when one could not take its socket. Clients
    // wait in the kernel's queue until serve().
    bool start(const ServiceConfig &config, DatabaseThread &database, SharedAnswers &shared, QString *error);
    // Lets the threads answer: once the service has said it is up.
    void serve();

    int openConnections() const { return m_open.load(std::memory_order_relaxed); }
    // From the thread that started them: no new connections; open ones go on.
    void stopAccepting();
    // Connections with a request in flight or an answer not yet written.
    int busyConnections() const;

private:
    class Thread;

    int m_count;
    ConnectionLimits m_limits;
    quint16 m_port = 0;
    QList<int> m_descriptors; // listening sockets not yet handed to a thread
    QList<Thread *> m_threads;
    std::atomic<int> m_open{0};
};

} // namespace yz::server
