#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>

namespace yz::server {

// At most `perHour` requests of one kind from one client address in any hour.
class AddressLimiter {
public:
    explicit AddressLimiter(int perHour)
        : m_perHour(perHour)
    {
        m_clock.start();
    }

    // Counts one request from `client` when it is allowed.
    bool allow(const QString &client)
    {
        const qint64 now = m_clock.elapsed();
        QList<qint64> &times = m_times[client];
        while (!times.isEmpty() && now - times.first() >= kHourMs)
            times.removeFirst();
        if (times.size() >= m_perHour)
            return false;
        times.append(now);
        if (m_times.size() > kForgetAbove)
            forgetQuiet(now);
        return true;
    }

private:
    static constexpr qint64 kHourMs = 3'600'000;
    static constexpr qsizetype kForgetAbove = 100'000;

    // Bounds the memory many addresses can take: drops the addresses whose
    // requests are all older than an hour.
    void forgetQuiet(qint64 now)
    {
        for (auto it = m_times.begin(); it != m_times.end();) {
            if (it.value().isEmpty() || now - it.value().last() >= kHourMs)
                it = m_times.erase(it);
            else
                ++it;
        }
    }

    int m_perHour;
    QElapsedTimer m_clock;
    QHash<QString, QList<qint64>> m_times;
};

} // namespace yz::server
