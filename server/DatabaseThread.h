#pragma once

#include "server/Database.h"

#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace yz::server {

class VendorStore;

struct DatabaseThreadLimits {
    int deadlineMs = 800; // from asking to hearing back
    int maxQueued = 256;
    int changePollMs = 50; // how often the data is checked for changes
};

// The service's database work, on a thread of its own with its own
// connection, so that a stopped, lost or locked database never holds up the
// thread that answers HTTP. Work waits in a bounded queue; whoever asked
// hears back on its own thread within a deadline, with the result or with
// nothing (the queue was full, the deadline passed, the database failed).
class DatabaseThread : public QObject {
    Q_OBJECT
public:
    explicit DatabaseThread(DatabaseAddress address, DatabaseThreadLimits limits = {}, QObject *parent = nullptr);
    ~DatabaseThread() override;

    // Opens the connection on the thread (waiting for that); false with a message.
    bool start(QString *error);

    // Grows whenever the data may have changed (another connection wrote,
    // the connection was lost): answers cached under an older generation
    // are stale. Read without touching the database.
    quint64 generation() const { return m_generation.load(std::memory_order_acquire); }

    // Runs `work` on the database thread; `done` runs on `context`'s thread
    // with its result, or with nothing. Work whose deadline passed before
    // it started is not run.
    template <typename T>
    void run(QObject *context, std::function<std::optional<T>(VendorStore &)> work,
             std::function<void(std::optional<T>)> done)
    {
        auto result = std::make_shared<std::optional<T>>();
        enqueue(
                context, [work = std::move(work), result](VendorStore &store) { return bool(*result = work(store)); },
                [result, done = std::move(done)](bool ok) { done(ok ? std::move(*result) : std::nullopt); });
    }

    // Work whose result nobody waits for (it may be dropped when the queue is full).
    void post(std::function<void(VendorStore &)> work);

private:
    struct Job;
    class Worker;

    void enqueue(QObject *context, std::function<bool(VendorStore &)> work, std::function<void(bool)> done);

    DatabaseAddress m_address;
    DatabaseThreadLimits m_limits;
    QThread m_thread;
    Worker *m_worker = nullptr;
    std::atomic<quint64> m_generation{1};
    QMutex m_mutex;
    std::deque<std::shared_ptr<Job>> m_queue;
};

} // namespace yz::server
