#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace yz::cli {

// Turns Ctrl-C (SIGINT) into a signal on the event loop, so that the run can
// say what it did before it stops. Only one may exist at a time.
class InterruptWatch : public QObject {
    Q_OBJECT
public:
    explicit InterruptWatch(QObject *parent = nullptr);
    ~InterruptWatch() override;

Q_SIGNALS:
    void interrupted();

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace yz::cli
