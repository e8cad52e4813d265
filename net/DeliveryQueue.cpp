#include "net/DeliveryQueue.h"

namespace yz {

DeliveryQueue::DeliveryQueue(QObject *parent)
    : QObject(parent)
{
    m_timer.setInterval(0);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &DeliveryQueue::runOne);
}

void DeliveryQueue::post(QObject *context, std::function<void()> delivery)
{
    m_queue.push_back({context, std::move(delivery)});
    if (!m_timer.isActive())
        m_timer.start();
}

// The timer runs only while the queue holds something.
void DeliveryQueue::runOne()
{
    Item item = std::move(m_queue.front());
    m_queue.pop_front();
    if (m_queue.empty())
        m_timer.stop();
    if (item.context)
        item.delivery();
}

} // namespace yz
