#pragma once

#include "net/DeliveryQueue.h"
#include "net/HandlerTable.h"
#include "net/HostGate.h"

#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

namespace yz {

class WatchedRequest;

// Starts asynchronous page requests and delivers each answer, decoded, to the
// handler named by the caller. The one network access manager of a program.
class PageFetcher : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultTimeoutMs = 30000;
    static constexpr qint64 kDefaultByteLimit = 64 * 1024 * 1024;

    explicit PageFetcher(QObject *parent = nullptr);
    ~PageFetcher() override;

    HandlerTable &handlers() { return m_handlers; }
    QNetworkAccessManager &network() { return m_network; }

    // Starts a request and returns at once. The method is sent upper-cased when
    // it is a standard one; "post" (any case) adds the form Content-Type; a
    // non-empty payload is sent as the body. A request that cannot be started
    // (no http or https address with a host, no method) is delivered in a later
    // pass as a failure with status transport::kNotStarted, like any answer.
    void urlfetch(const QString &url, const QString &method, const QString &payload, const QString &charset,
                  const QString &handler);

    // Starts a picture request ("get", no body) whose bytes go to the picture
    // handler named `handler`. One that cannot be started is delivered as
    // urlfetch delivers it.
    void picfetch(const QString &url, const QString &handler);

    // Whether urlfetch could send a request to this address.
    static bool requestable(const QString &url);

    // Requests leave through this gate when one is set (the command line's
    // per-host pacing across engines); without one they leave at once. A
    // request held by the gate counts as started, and its time-out runs from
    // the moment it leaves.
    void setGate(HostGate *gate) { m_gate = gate; }
    // The key a gate knows a request's host by: the host, and the port when
    // the address names one.
    static QString gateKey(const QUrl &url);

    // A whole request, from sending to the end of its delivery, ends after at most this long.
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    int timeoutMs() const { return m_timeoutMs; }
    // An answer growing past this many bytes is cut off and reported as a failure.
    void setByteLimit(qint64 bytes) { m_byteLimit = bytes; }
    qint64 byteLimit() const { return m_byteLimit; }

    // Requests sent (or held by the gate); one that could not be started is
    // not counted here, but is in flight until its failure is delivered.
    int startedCount() const { return m_started; }
    int finishedCount() const { return m_finished; }
    int inFlight() const { return m_started - m_finished + m_unstarted; }
    // Started requests still held by the gate, not yet sent.
    int queuedAtGate() const { return m_queued; }
    // Deliveries that brought the server's answer (err 0), as opposed to a
    // failure status.
    int answeredCount() const { return m_answered; }

    // Counts a request started by another fetcher of this program, so that
    // inFlight() and idle() cover every request.
    void countStarted(const QString &url);
    void countFinished(bool answered = false);

    static QByteArray userAgent();

Q_SIGNALS:
    void requestStarted(const QString &url);
    void requestFinished();
    void idle(); // the last request in flight has been delivered

private:
    struct Prepared {
        QString url;
        QNetworkRequest request;
        QByteArray verb;
        QByteArray body;
    };
    // The address to request, if it is an http or https one with a host.
    static std::optional<QUrl> target(const QString &url);
    // Checks the address and builds the request with the program's common
    // headers; nothing when the address cannot be requested.
    static std::optional<Prepared> prepare(const QString &url, const QString &method, const QString &payload);
    // Counts the request as started and sends it, now or when the gate lets
    // it; `watch` wraps the reply in its watcher, `fail` reports a request
    // that was not sent after all, with the transport status why. A request
    // that could not be prepared goes to `fail` in a later pass.
    void dispatch(std::optional<Prepared> prepared, std::function<WatchedRequest *(QNetworkReply *)> watch,
                  std::function<void(int status)> fail);
    // Reports a request that never left, in a later pass: its caller has
    // returned by then, as it has before any answer.
    void failLater(std::function<void(int status)> fail, bool counted);

    QNetworkAccessManager m_network;
    QPointer<HostGate> m_gate;
    HandlerTable m_handlers;
    DeliveryQueue m_deliveries;
    int m_timeoutMs = kDefaultTimeoutMs;
    qint64 m_byteLimit = kDefaultByteLimit;
    int m_started = 0;
    int m_finished = 0;
    int m_answered = 0;
    int m_queued = 0;
    int m_unstarted = 0; // not started, failure not yet delivered
};

} // namespace yz
