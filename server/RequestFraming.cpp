#include "server/RequestFraming.h"

namespace yz::server {
namespace {

const FramingError kBadRequest{HttpStatus::BadRequest};
const FramingError kHeadTooLarge{HttpStatus::HeaderFieldsTooLarge};

bool isTokenChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool isToken(QByteArrayView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), isTokenChar);
}

// Visible characters, space and tab, and bytes from 0x80 (field values and
// reason text may carry them); never a control character.
bool isFieldValue(QByteArrayView text)
{
    return std::all_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte == '\t' || (byte >= 0x20 && byte != 0x7f);
    });
}

bool isRequestTarget(QByteArrayView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte > 0x20 && byte != 0x7f;
    });
}

// Whether a comma-separated header value names `token`, without regard to case.
bool listHas(QByteArrayView value, QByteArrayView token)
{
    for (QByteArrayView item : QByteArray(value.toByteArray()).split(','))
        if (item.trimmed().compare(token, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// The lines of a head without their line ends: "\r\n" or "\n" ends a line,
// a carriage return anywhere else is refused.
std::optional<QList<QByteArrayView>> headLines(QByteArrayView head)
{
    QList<QByteArrayView> lines;
    qsizetype start = 0;
    while (start < head.size()) {
        qsizetype end = head.indexOf('\n', start);
        if (end < 0)
            end = head.size();
        QByteArrayView line = head.sliced(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.contains('\r'))
            return std::nullopt;
        lines.append(line);
        start = end + 1;
    }
    return lines;
}

// Where the head ends (just after its blank line), or -1, looking from `from`.
qsizetype headEnd(QByteArrayView bytes, qsizetype from)
{
    for (qsizetype i = bytes.indexOf('\n', from); i >= 0; i = bytes.indexOf('\n', i + 1)) {
        if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
            return i + 2;
        if (i + 2 < bytes.size() && bytes[i + 1] == '\r' && bytes[i + 2] == '\n')
            return i + 3;
    }
    return -1;
}

} // namespace

std::optional<FramingError> RequestFramer::feed(QByteArrayView data, QList<FramedRequest> &out, qsizetype maxOut)
{
    while (!data.isEmpty() && out.size() < maxOut) {
        if (m_state == State::Body) {
            const qsizetype used = qsizetype(std::min<qint64>(m_bodyLeft, data.size()));
            m_pending.append(data.first(used));
            m_bodyLeft -= used;
            data = data.sliced(used);
            if (m_bodyLeft == 0) {
                m_facts.bytes = std::exchange(m_pending, {});
                out.append(std::exchange(m_facts, {}));
                m_state = State::Idle;
            }
            continue;
        }
        if (m_state == State::Idle) {
            // Line breaks between requests are ignored, as clients may send
            // one after a body.
            while (!data.isEmpty() && (data.front() == '\r' || data.front() == '\n'))
                data = data.sliced(1);
            if (data.isEmpty())
                break;
            m_state = State::Head;
        }
        // Look for the end of the head, also across the previous bytes.
        const qsizetype before = m_pending.size();
        const qsizetype room = m_maxHead + 4 - before;
        m_pending.append(data.first(std::min<qsizetype>(data.size(), room)));
        const qsizetype end = headEnd(m_pending, std::max<qsizetype>(0, before - 3));
        if (end < 0) {
            if (m_pending.size() > m_maxHead)
                return kHeadTooLarge;
            return std::nullopt;
        }
        if (end > m_maxHead)
            return kHeadTooLarge;
        m_pending.truncate(end);
        data = data.sliced(end - before);
        if (auto error = endHead(end, out))
            return error;
    }
    return std::nullopt;
}

std::optional<FramingError> RequestFramer::endHead(qsizetype headLength, QList<FramedRequest> &out)
{
    const std::optional<QList<QByteArrayView>> lines = headLines(QByteArrayView(m_pending).first(headLength));
    if (!lines || lines->isEmpty())
        return kBadRequest;
    // METHOD SP target SP HTTP/1.x
    const QList<QByteArray> parts = lines->first().toByteArray().split(' ');
    if (parts.size() != 3 || !isToken(parts[0]) || !isRequestTarget(parts[1])
        || (parts[2] != "HTTP/1.1" && parts[2] != "HTTP/1.0"))
        return kBadRequest;
    const bool http10 = parts[2] == "HTTP/1.0";
    std::optional<qint64> length;
    QByteArrayView connection;
    for (qsizetype i = 1; i < lines->size(); ++i) {
        const QByteArrayView line = lines->at(i);
        if (line.isEmpty())
            continue; // the blank line that ends the head
        // A line starting with whitespace would continue the previous one
        // (obs-fold) for some readers and not for others: refused.
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || !isToken(line.first(colon)))
            return kBadRequest;
        const QByteArrayView name = line.first(colon);
        const QByteArrayView value = line.sliced(colon + 1).trimmed();
        if (!isFieldValue(value))
            return kBadRequest;
        if (name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0)
            return FramingError{HttpStatus::LengthRequired};
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
            if (length || value.isEmpty() || value.size() > 18
                || !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
                return kBadRequest;
            length = value.toLongLong();
        }
        if (name.compare("Connection", Qt::CaseInsensitive) == 0)
            connection = value;
    }
    if (length.value_or(0) > m_maxBody)
        return FramingError{HttpStatus::ContentTooLarge};
    m_facts.headOnly = parts[0] == "HEAD";
    m_facts.keepAlive = http10 ? listHas(connection, "keep-alive") : !listHas(connection, "close");
    m_bodyLeft = length.value_or(0);
    if (m_bodyLeft > 0) {
        m_state = State::Body;
        return std::nullopt;
    }
    m_facts.bytes = std::exchange(m_pending, {});
    out.append(std::exchange(m_facts, {}));
    m_state = State::Idle;
    return std::nullopt;
}

QByteArray reasonPhrase(HttpStatus status)
{
    switch (status) {
    case HttpStatus::Ok:
        return QByteArrayLiteral("OK");
    case HttpStatus::SeeOther:
        return QByteArrayLiteral("See Other");
    case HttpStatus::NotModified:
        return QByteArrayLiteral("Not Modified");
    case HttpStatus::BadRequest:
        return QByteArrayLiteral("Bad Request");
    case HttpStatus::NotFound:
        return QByteArrayLiteral("Not Found");
    case HttpStatus::MethodNotAllowed:
        return QByteArrayLiteral("Method Not Allowed");
    case HttpStatus::RequestTimeout:
        return QByteArrayLiteral("Request Timeout");
    case HttpStatus::LengthRequired:
        return QByteArrayLiteral("Length Required");
    case HttpStatus::ContentTooLarge:
        return QByteArrayLiteral("Content Too Large");
    case HttpStatus::TooManyRequests:
        return QByteArrayLiteral("Too Many Requests");
    case HttpStatus::HeaderFieldsTooLarge:
        return QByteArrayLiteral("Request Header Fields Too Large");
    case HttpStatus::ServiceUnavailable:
        return QByteArrayLiteral("Service Unavailable");
    }
    return QByteArrayLiteral("Error");
}

} // namespace yz::server
