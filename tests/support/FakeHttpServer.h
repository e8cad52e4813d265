#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>

#include <functional>

class QTcpSocket;

namespace yztest {

// A request as the server received it.
struct RecordedRequest {
    QByteArray method;
    QByteArray target; // the raw request target, as sent
    QHash<QByteArray, QByteArray> headers; // names lower-cased
    QByteArray body;
    qint64 receivedUs = 0; // when it was complete, on a clock shared by every fake server
    QByteArray header(const QByteArray &name) const { return headers.value(name.toLower()); }
};

// What the server does with a request.
struct FakeResponse {
    enum class Fault {
        None,
        NoAnswer, // read the request, never answer
        CloseAtOnce, // close the connection without a byte
        CloseMidBody, // send the headers and half the body, then close
        Chunked, // send the body with chunked transfer encoding
    };
    int status = 200;
    QByteArray reason = "OK";
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    int delayMs = 0;
    Fault fault = Fault::None;
    bool sendContentLength = true;
    qint64 contentLengthOverride = -1; // a lying Content-Length when >= 0
};

// An HTTP/1.1 server on a free loopback port that records every request and
// answers from a script: a function of the request, or one fixed answer.
class FakeHttpServer : public QObject {
    Q_OBJECT
public:
    explicit FakeHttpServer(QObject *parent = nullptr);
    ~FakeHttpServer() override;

    quint16 port() const { return m_server.serverPort(); }
    QString base() const; // "http://127.0.0.1:PORT"

    void setResponse(const FakeResponse &response);
    void setScript(std::function<FakeResponse(const RecordedRequest &)> script);

    const QList<RecordedRequest> &requests() const { return m_requests; }
    QList<QByteArray> targets() const;
    void clear() { m_requests.clear(); }
    // The most requests this server held unanswered at one moment.
    int mostAtOnce() const { return m_mostAtOnce; }

Q_SIGNALS:
    void requestReceived();

private:
    void accept();
    void readFrom(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const FakeResponse &response);

    QTcpServer m_server;
    QList<RecordedRequest> m_requests;
    std::function<FakeResponse(const RecordedRequest &)> m_script;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    int m_unanswered = 0;
    int m_mostAtOnce = 0;
};

// Microseconds on the steady clock the fake servers stamp requests with.
qint64 steadyMicroseconds();

} // namespace yztest
