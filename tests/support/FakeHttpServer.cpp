#include "tests/support/FakeHttpServer.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace yztest {

FakeHttpServer::FakeHttpServer(QObject *parent)
    : QObject(parent)
{
    m_script = [](const RecordedRequest &) { return FakeResponse{}; };
    connect(&m_server, &QTcpServer::newConnection, this, &FakeHttpServer::accept);
    m_server.listen(QHostAddress::LocalHost, 0);
}

FakeHttpServer::~FakeHttpServer()
{
    for (auto it = m_buffers.keyBegin(); it != m_buffers.keyEnd(); ++it)
        (*it)->disconnect(this);
}

QString FakeHttpServer::base() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

void FakeHttpServer::setResponse(const FakeResponse &response)
{
    m_script = [response](const RecordedRequest &) { return response; };
}

void FakeHttpServer::setScript(std::function<FakeResponse(const RecordedRequest &)> script)
{
    m_script = std::move(script);
}

QList<QByteArray> FakeHttpServer::targets() const
{
    QList<QByteArray> list;
    for (const RecordedRequest &r : m_requests)
        list << r.target;
    return list;
}

void FakeHttpServer::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        m_buffers.insert(socket, QByteArray());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_buffers.remove(socket);
            socket->deleteLater();
        });
    }
}

void FakeHttpServer::readFrom(QTcpSocket *socket)
{
    QByteArray &buffer = m_buffers[socket];
    buffer += socket->readAll();
    for (;;) {
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        RecordedRequest request;
        const QList<QByteArray> start = lines.value(0).trimmed().split(' ');
        request.method = start.value(0);
        request.target = start.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon > 0)
                request.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
        }
        const qsizetype length = request.header("content-length").toLongLong();
        if (buffer.size() < headerEnd + 4 + length)
            return;
        request.body = buffer.mid(headerEnd + 4, length);
        buffer.remove(0, headerEnd + 4 + length);

        request.receivedUs = steadyMicroseconds();
        m_requests.append(request);
        m_mostAtOnce = std::max(m_mostAtOnce, ++m_unanswered);
        const FakeResponse response = m_script(request);
        Q_EMIT requestReceived();
        if (response.delayMs > 0) {
            QPointer<QTcpSocket> guarded(socket);
            QTimer::singleShot(response.delayMs, this, [this, guarded, response] {
                if (guarded)
                    answer(guarded, response);
            });
        } else {
            answer(socket, response);
        }
    }
}

void FakeHttpServer::answer(QTcpSocket *socket, const FakeResponse &response)
{
    using Fault = FakeResponse::Fault;
    if (response.fault == Fault::NoAnswer)
        return;
    --m_unanswered;
    if (response.fault == Fault::CloseAtOnce) {
        socket->abort();
        return;
    }
    QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + response.reason + "\r\n";
    for (const auto &[name, value] : response.headers)
        out += name + ": " + value + "\r\n";
    if (response.fault == Fault::Chunked) {
        out += "Transfer-Encoding: chunked\r\n";
    } else if (response.contentLengthOverride >= 0) {
        out += "Content-Length: " + QByteArray::number(response.contentLengthOverride) + "\r\n";
    } else if (response.sendContentLength || response.fault == Fault::CloseMidBody) {
        out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    }
    out += "Connection: close\r\n\r\n";

    if (response.fault == Fault::Chunked) {
        const QByteArray &b = response.body;
        for (qsizetype at = 0; at < b.size(); at += 1000) {
            const QByteArray piece = b.mid(at, 1000);
            out += QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n";
        }
        out += "0\r\n\r\n";
    } else if (response.fault == Fault::CloseMidBody) {
        out += response.body.left(response.body.size() / 2);
        socket->write(out);
        socket->disconnectFromHost(); // the body stays short of its Content-Length
        return;
    } else {
        out += response.body;
    }
    socket->write(out);
    socket->disconnectFromHost();
}

qint64 steadyMicroseconds()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace yztest
