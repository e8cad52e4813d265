#include "server/ChangeWatch.h"

#include "server/Database.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QVariant>

namespace yz::server {
namespace {

const QString kChannel = QStringLiteral("yanzhou_changed");

} // namespace

ChangeWatch::ChangeWatch(Database &database, QObject *parent)
    : QObject(parent)
    , m_database(database)
{
    listen();
}

void ChangeWatch::listen()
{
    if (m_database.isPostgres()) {
        QSqlDriver *driver = m_database.db().driver();
        if (!driver->subscribeToNotification(kChannel))
            qWarning("cannot listen for changes: %s", qPrintable(driver->lastError().text()));
        disconnect(driver, &QSqlDriver::notification, this, nullptr);
        connect(driver, &QSqlDriver::notification, this, &ChangeWatch::changed);
    } else {
        m_dataVersionQuery = QSqlQuery(m_database.db());
        m_dataVersionQuery.prepare(QStringLiteral("PRAGMA data_version"));
    }
}

quint64 ChangeWatch::generation()
{
    if (!m_database.isPostgres()) {
        if (!m_dataVersionQuery.exec() || !m_dataVersionQuery.next()) {
            ++m_generation; // cannot tell: nothing cached is trusted
            return m_generation;
        }
        const qint64 version = m_dataVersionQuery.value(0).toLongLong();
        m_dataVersionQuery.finish();
        if (version != m_dataVersion) {
            m_dataVersion = version;
            ++m_generation;
        }
    }
    return m_generation;
}

void ChangeWatch::invalidate()
{
    ++m_generation;
    listen();
}

} // namespace yz::server
