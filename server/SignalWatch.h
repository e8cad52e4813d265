#pragma once

#include <QObject>

class QSocketNotifier;

namespace yz::server {

// Turns SIGTERM, SIGINT and SIGHUP into signals of the event loop: the
// handler only writes the signal's number to a pipe, which the loop reads,
// so that stopping and reloading run as ordinary code. One per process.
class SignalWatch : public QObject {
    Q_OBJECT
public:
    explicit SignalWatch(QObject *parent = nullptr);
    ~SignalWatch() override;

Q_SIGNALS:
    void stopAsked(int signal); // SIGTERM or SIGINT
    void reloadAsked(); // SIGHUP

private:
    void readPending();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace yz::server
