#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <functional>

namespace yz {

// Runs queued deliveries one per event-loop pass, in the order they came.
// Answers that complete together (Qt hands them over in one batch) would
// otherwise be decoded and scraped back to back, holding input and painting
// back for all of them; this way the window waits for one at most.
class DeliveryQueue : public QObject {
    Q_OBJECT
public:
    explicit DeliveryQueue(QObject *parent = nullptr);

    // Runs `delivery` in a later pass, unless `context` is gone by then.
    void post(QObject *context, std::function<void()> delivery);

private:
    void runOne();

    struct Item {
        QPointer<QObject> context;
        std::function<void()> delivery;
    };
    std::deque<Item> m_queue;
    QTimer m_timer; // a zero timer: one timeout per event-loop pass
};

} // namespace yz
