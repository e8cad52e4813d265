#include "net/FormEncoding.h"

#include "net/TextDecoding.h"

namespace yz {
namespace {

bool keptAsIs(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || u == u'*' || u == u'-'
            || u == u'.' || u == u'@' || u == u'_';
}

} // namespace

QString urlencode(const QString &text)
{
    static const char kHex[] = "0123456789ABCDEF";
    QString result;
    result.reserve(text.size() * 3);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (keptAsIs(c)) {
            result += c;
        } else if (c == u' ') {
            result += u'+';
        } else {
            // A surrogate pair is one character GBK cannot hold: one "?".
            const bool pair = c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
            const QByteArray bytes = pair ? QByteArray("?") : encodeGbk(QStringView(&text.data()[i], 1));
            if (pair)
                ++i;
            for (const char b : bytes) {
                result += u'%';
                result += QLatin1Char(kHex[(uchar(b) >> 4) & 0xF]);
                result += QLatin1Char(kHex[uchar(b) & 0xF]);
            }
        }
    }
    return result;
}

} // namespace yz
