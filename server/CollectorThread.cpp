#include "server/CollectorThread.h"

namespace yz::server {

CollectorThread::CollectorThread(DatabaseAddress address, ServiceHosts hosts, CollectorConfig config, QString instance)
    : m_address(std::move(address))
    , m_hosts(std::move(hosts))
    , m_config(config)
    , m_instance(std::move(instance))
{
    m_thread.setObjectName(QStringLiteral("collector"));
}

CollectorThread::~CollectorThread()
{
    if (!m_home)
        return;
    QMetaObject::invokeMethod(
            m_home,
            [this] {
                delete m_home; // the collector with it
                m_database.reset();
            },
            Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

bool CollectorThread::start(QString *error)
{
    m_home = new QObject;
    m_home->moveToThread(&m_thread);
    m_thread.start();
    bool opened = false;
    // Everything is made on the thread itself: a database connection and a
    // network manager belong to the thread that made them.
    QMetaObject::invokeMethod(
            m_home,
            [this, &opened, error] {
                m_database = std::make_unique<Database>(m_address);
                opened = m_database->open(error);
                if (!opened)
                    return;
                auto *collector = new Collector(*m_database, m_hosts, m_config, m_instance, m_home);
                collector->start();
            },
            Qt::BlockingQueuedConnection);
    return opened;
}

} // namespace yz::server
