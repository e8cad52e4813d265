#include "server/DatabaseThread.h"

#include "server/ChangeWatch.h"
#include "server/Log.h"
#include "server/Metrics.h"
#include "server/VendorStore.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>

namespace yz::server {

struct DatabaseThread::Job {
    std::function<bool(VendorStore &)> work;
    std::function<void(bool)> done; // empty: nobody waits
    QPointer<QObject> context;
    QDeadlineTimer deadline;
    std::atomic<bool> settled{false}; // `done` was called (or will never be)
};

// Lives on the database thread and owns everything that touches the
// connection there.
class DatabaseThread::Worker : public QObject {
public:
    Worker(DatabaseThread &owner, DatabaseAddress address)
        : m_owner(owner)
        , m_address(std::move(address))
    {
    }

    bool open(QString *error)
    {
        m_database = std::make_unique<Database>(m_address);
        if (!m_database->open(error))
            return false;
        m_store = std::make_unique<VendorStore>(*m_database);
        m_changes = std::make_unique<ChangeWatch>(*m_database);
        m_retry = new QTimer(this);
        m_retry->setSingleShot(true);
        m_retry->setInterval(250);
        connect(m_retry, &QTimer::timeout, this, [this] { checkConnection(); });
        m_poll = new QTimer(this);
        connect(m_poll, &QTimer::timeout, this, [this] { publishGeneration(); });
        m_poll->start(m_owner.m_limits.changePollMs);
        publishGeneration();
        return true;
    }

    void close()
    {
        delete m_retry;
        m_retry = nullptr;
        delete m_poll;
        m_changes.reset();
        m_store.reset();
        m_database.reset();
    }

    void runNext()
    {
        std::shared_ptr<Job> job;
        {
            QMutexLocker lock(&m_owner.m_mutex);
            if (m_owner.m_queue.empty())
                return;
            job = std::move(m_owner.m_queue.front());
            m_owner.m_queue.pop_front();
        }
        // Nobody hears the result of work whose time is up: not run, so a
        // backlog built while the database stood still clears at once.
        if (!m_store || job->settled.load() || (job->done && job->deadline.hasExpired()))
            return;
        const bool ok = job->work(*m_store);
        if (!ok) {
            metrics().countDatabaseError();
            checkConnection();
        }
        publishGeneration();
        if (job->done && job->context)
            QMetaObject::invokeMethod(
                    job->context,
                    [job, ok] {
                        if (!job->settled.exchange(true))
                            job->done(ok);
                    },
                    Qt::QueuedConnection);
    }

private:
    // Work can fail for its values (a statement the database refuses) or
    // because the connection is gone; only the second is worth a reconnect.
    void checkConnection()
    {
        QSqlQuery probe(m_database->db());
        if (probe.exec(QStringLiteral("SELECT 1"))) {
            metrics().setDatabaseUp(true);
            return;
        }
        if (!m_lostFor.isValid()) {
            m_lostFor.start();
            m_toldLasting = false;
            metrics().setDatabaseUp(false);
            qCWarning(lcDatabase, "lost the connection to the database (%s); answering from caches and trying again",
                      qPrintable(reasonOf(probe.lastError())));
        }
        if (m_database->reconnect()) {
            m_changes->invalidate();
            m_retry->stop();
            metrics().setDatabaseUp(true);
            qCInfo(lcDatabase, "connected to the database again after %lld s", m_lostFor.elapsed() / 1000);
            m_lostFor.invalidate();
            return;
        }
        // Tried again without waiting for a request to fail, so that the
        // service is back as soon as the database is.
        m_retry->start();
        constexpr qint64 kLastingMs = 60'000;
        if (!m_toldLasting && m_lostFor.elapsed() >= kLastingMs) {
            m_toldLasting = true;
            qCCritical(lcDatabase, "the database has not answered for %lld s (%s); still trying",
                       m_lostFor.elapsed() / 1000, qPrintable(reasonOf(m_database->db().lastError())));
        }
    }

    static QString reasonOf(const QSqlError &error)
    {
        QString text = error.text().simplified();
        if (text.isEmpty())
            text = Database::lastServerNotice();
        return text.isEmpty() ? QStringLiteral("no answer") : text;
    }

    void publishGeneration()
    {
        if (m_changes)
            m_owner.m_generation.store(m_changes->generation(), std::memory_order_release);
    }

    DatabaseThread &m_owner;
    DatabaseAddress m_address;
    std::unique_ptr<Database> m_database;
    std::unique_ptr<VendorStore> m_store;
    std::unique_ptr<ChangeWatch> m_changes;
    QTimer *m_poll = nullptr;
    QTimer *m_retry = nullptr; // reconnects while the connection is lost
    QElapsedTimer m_lostFor; // valid while the connection is lost
    bool m_toldLasting = false;
};

DatabaseThread::DatabaseThread(DatabaseAddress address, DatabaseThreadLimits limits, QObject *parent)
    : QObject(parent)
    , m_address(std::move(address))
    , m_limits(limits)
{
    m_thread.setObjectName(QStringLiteral("database"));
}

DatabaseThread::~DatabaseThread()
{
    if (m_worker) {
        QMetaObject::invokeMethod(
                m_worker, [this] { m_worker->close(); }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
        delete m_worker;
    }
}

bool DatabaseThread::start(QString *error)
{
    m_worker = new Worker(*this, m_address);
    m_worker->moveToThread(&m_thread);
    m_thread.start();
    bool opened = false;
    QMetaObject::invokeMethod(
            m_worker, [this, &opened, error] { opened = m_worker->open(error); }, Qt::BlockingQueuedConnection);
    return opened;
}

void DatabaseThread::post(std::function<void(VendorStore &)> work)
{
    enqueue(nullptr,
            [work = std::move(work)](VendorStore &store) {
                work(store);
                return true;
            },
            {});
}

void DatabaseThread::enqueue(QObject *context, std::function<bool(VendorStore &)> work, std::function<void(bool)> done)
{
    auto job = std::make_shared<Job>();
    job->work = std::move(work);
    job->done = std::move(done);
    job->context = context;
    job->deadline = QDeadlineTimer(m_limits.deadlineMs);
    bool full = false;
    {
        QMutexLocker lock(&m_mutex);
        full = qsizetype(m_queue.size()) >= m_limits.maxQueued;
        if (!full)
            m_queue.push_back(job);
    }
    if (!job->done) {
        if (!full)
            QMetaObject::invokeMethod(
                    m_worker, [this] { m_worker->runNext(); }, Qt::QueuedConnection);
        return;
    }
    if (full) {
        // Answered from the event loop, like every other answer.
        QMetaObject::invokeMethod(
                context, [job] { job->done(false); }, Qt::QueuedConnection);
        return;
    }
    QMetaObject::invokeMethod(
            m_worker, [this] { m_worker->runNext(); }, Qt::QueuedConnection);
    QTimer::singleShot(m_limits.deadlineMs, context, [job] {
        if (!job->settled.exchange(true))
            job->done(false);
    });
}

} // namespace yz::server
