#pragma once

#include "server/Collector.h"
#include "server/Database.h"

#include <QThread>

#include <memory>

namespace yz::server {

// The serving instance's collector on a thread of its own, with its own
// connection and fetcher, so that its database work never holds up the
// thread that answers HTTP.
class CollectorThread {
public:
    CollectorThread(DatabaseAddress address, ServiceHosts hosts, CollectorConfig config, QString instance);
    ~CollectorThread();
    CollectorThread(const CollectorThread &) = delete;
    CollectorThread &operator=(const CollectorThread &) = delete;

    // Opens the connection and starts collecting; false with a message.
    bool start(QString *error);

private:
    DatabaseAddress m_address;
    ServiceHosts m_hosts;
    CollectorConfig m_config;
    QString m_instance;
    QThread m_thread;
    QObject *m_home = nullptr; // lives on the thread; owns the collector
    std::unique_ptr<Database> m_database;
};

} // namespace yz::server
