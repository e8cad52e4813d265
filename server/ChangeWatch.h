#pragma once

#include <QObject>
#include <QSqlQuery>

namespace yz::server {

class Database;

// Tells the service when what it cached may be stale: a generation number
// that grows whenever another connection (an operator command, the collector,
// another instance) changed the data. PostgreSQL announces changes on a
// channel this connection listens to; SQLite counts them in its data version.
class ChangeWatch : public QObject {
    Q_OBJECT
public:
    explicit ChangeWatch(Database &database, QObject *parent = nullptr);

    quint64 generation();
    // Everything cached is stale (after the connection was lost and opened
    // again, announcements may have been missed).
    void invalidate();

private:
    void listen();
    void changed() { ++m_generation; }

    Database &m_database;
    quint64 m_generation = 1;
    qint64 m_dataVersion = -1;
    QSqlQuery m_dataVersionQuery;
};

} // namespace yz::server
