#pragma once

#include <QSqlDatabase>

namespace yz::server {

// A transaction that is rolled back unless committed: an early return or a
// failed statement leaves the database as it was, on both drivers.
class Transaction {
public:
    explicit Transaction(QSqlDatabase &db)
        : m_db(db)
        , m_open(db.transaction())
    {
    }
    ~Transaction()
    {
        if (m_open)
            m_db.rollback();
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    // False when the transaction could not be begun (see the database's lastError).
    bool began() const { return m_open; }

    // Commits; a commit the database refuses is rolled back.
    bool commit()
    {
        if (!m_open)
            return false;
        m_open = !m_db.commit();
        return !m_open;
    }

private:
    QSqlDatabase &m_db;
    bool m_open;
};

} // namespace yz::server
