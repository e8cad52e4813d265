#include "server/SuggestionForm.h"

#include "net/TextDecoding.h"

namespace yz::server {
namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QByteArray formDecode(QByteArrayView value)
{
    QByteArray bytes;
    bytes.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '+') {
            bytes += ' ';
        } else if (c == '%' && i + 2 < value.size() && hexValue(value[i + 1]) >= 0 && hexValue(value[i + 2]) >= 0) {
            bytes += char(hexValue(value[i + 1]) * 16 + hexValue(value[i + 2]));
            i += 2;
        } else {
            bytes += c;
        }
    }
    return bytes;
}

} // namespace

std::optional<QString> decodeSuggestionForm(QByteArrayView body)
{
    qsizetype start = 0;
    while (start <= body.size()) {
        qsizetype end = body.indexOf('&', start);
        if (end < 0)
            end = body.size();
        const QByteArrayView field = body.sliced(start, end - start);
        if (field.startsWith("c="))
            return decodeGbk(formDecode(field.sliced(2)));
        if (field == "c")
            return QString();
        start = end + 1;
    }
    return std::nullopt;
}

} // namespace yz::server
