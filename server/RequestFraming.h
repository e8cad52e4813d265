#pragma once

#include <QByteArray>
#include <QList>

#include <limits>
#include <optional>

namespace yz::server {

// The statuses the service answers with.
enum class HttpStatus {
    Ok = 200,
    SeeOther = 303,
    NotModified = 304,
    BadRequest = 400,
    NotFound = 404,
    MethodNotAllowed = 405,
    RequestTimeout = 408,
    LengthRequired = 411,
    ContentTooLarge = 413,
    TooManyRequests = 429,
    HeaderFieldsTooLarge = 431,
    ServiceUnavailable = 503,
};

// The number on the wire, in the metrics and in the access log.
inline int code(HttpStatus status)
{
    return int(status);
}

// The reason phrase the service sends with a status.
QByteArray reasonPhrase(HttpStatus status);

// Why a byte stream cannot be taken as HTTP/1.1 requests: the status to
// answer. Nothing after it is read.
struct FramingError {
    HttpStatus status = HttpStatus::BadRequest;
};

// One complete request exactly as received (head and body), with what the
// connection needs to know about it.
struct FramedRequest {
    QByteArray bytes;
    bool headOnly = false; // a HEAD request: its answer carries no body
    bool keepAlive = true; // the client wants the connection kept open
};

// Cuts a connection's bytes into requests, checking each head strictly so
// that no other reader of the same bytes can see a different request: no
// folded header lines, no bare carriage returns, no whitespace before a
// colon, one Content-Length of digits only, no Transfer-Encoding (bodies
// have a length or none), a plain request line. Works in linear time
// however the bytes are split.
class RequestFramer {
public:
    enum class State { Idle, Head, Body };

    RequestFramer(qsizetype maxHead = 16 * 1024, qsizetype maxBody = 64 * 1024)
        : m_maxHead(maxHead)
        , m_maxBody(maxBody)
    {
    }

    // Takes newly received bytes and appends the requests they complete to
    // `out`, stopping once `out` holds `maxOut` (the rest is not read); an
    // error ends the stream.
    std::optional<FramingError> feed(QByteArrayView data, QList<FramedRequest> &out,
                                     qsizetype maxOut = std::numeric_limits<qsizetype>::max());
    State state() const { return m_state; }

private:
    std::optional<FramingError> endHead(qsizetype headLength, QList<FramedRequest> &out);

    qsizetype m_maxHead;
    qsizetype m_maxBody;
    State m_state = State::Idle;
    QByteArray m_pending; // the request being received
    qint64 m_bodyLeft = 0;
    FramedRequest m_facts; // of the request being received, once its head is read
};

} // namespace yz::server
