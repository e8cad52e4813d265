#include "net/TextDecoding.h"

#include <QHash>
#include <QStringDecoder>

#include <algorithm>

namespace yz {
namespace {

#include "net/Gb18030Tables.inc"

constexpr char16_t kReplacement = 0xFFFD;

// Code point of a four-byte pointer, or -1 where the standard has none.
int rangesCodePoint(unsigned pointer)
{
    if ((pointer > 39419 && pointer < 189000) || pointer > 1237575)
        return -1;
    if (pointer == 7457)
        return 0xE7C7;
    if (pointer >= 189000)
        return int(0x10000 + pointer - 189000);
    const auto *end = std::end(kGb18030Ranges);
    const auto *it = std::upper_bound(std::begin(kGb18030Ranges), end, pointer,
                                      [](unsigned p, const Gb18030Range &r) { return p < r.pointer; });
    --it; // the first range starts at pointer 0, so there is always one at or below
    return int(it->codePoint + (pointer - it->pointer));
}

void append(char16_t *&out, int codePoint)
{
    if (codePoint > 0xFFFF) {
        *out++ = QChar::highSurrogate(char32_t(codePoint));
        *out++ = QChar::lowSurrogate(char32_t(codePoint));
    } else {
        *out++ = char16_t(codePoint);
    }
}

inline bool isDigitByte(uchar b)
{
    return b >= 0x30 && b <= 0x39;
}
inline bool isLeadByte(uchar b)
{
    return b >= 0x81 && b <= 0xFE;
}

} // namespace

QString decodeGbk(QByteArrayView bytes)
{
    // Every byte yields at most two UTF-16 units (a four-byte sequence), so
    // the byte count bounds the output.
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t *const begin = reinterpret_cast<char16_t *>(text.data());
    char16_t *out = begin;
    const auto *p = reinterpret_cast<const uchar *>(bytes.data());
    const auto *const end = p + bytes.size();

    while (p < end) {
        const uchar b = *p;
        if (b < 0x80) {
            *out++ = b;
            ++p;
            continue;
        }
        if (b == 0x80) {
            *out++ = 0x20AC;
            ++p;
            continue;
        }
        if (!isLeadByte(b)) { // 0xFF
            *out++ = kReplacement;
            ++p;
            continue;
        }
        // A lead byte: look at what follows. A byte that does not fit is not
        // consumed when it is ASCII (or may start something new), as the
        // standard's "prepend" steps require.
        if (p + 1 >= end) {
            *out++ = kReplacement;
            break;
        }
        const uchar b2 = p[1];
        if (isDigitByte(b2)) {
            if (p + 2 >= end) { // lead, digit, end of input
                *out++ = kReplacement;
                break;
            }
            const uchar b3 = p[2];
            if (!isLeadByte(b3)) {
                // error; the digit and b3 are read again
                *out++ = kReplacement;
                p += 1;
                continue;
            }
            if (p + 3 >= end) {
                *out++ = kReplacement;
                break;
            }
            const uchar b4 = p[3];
            if (!isDigitByte(b4)) {
                // error; the second, third and fourth bytes are read again
                *out++ = kReplacement;
                p += 1;
                continue;
            }
            const unsigned pointer = (b - 0x81u) * 12600u + (b2 - 0x30u) * 1260u + (b3 - 0x81u) * 10u + (b4 - 0x30u);
            const int cp = rangesCodePoint(pointer);
            if (cp < 0)
                *out++ = kReplacement;
            else
                append(out, cp);
            p += 4;
            continue;
        }
        const unsigned offset = b2 < 0x7F ? 0x40 : 0x41;
        if ((b2 >= 0x40 && b2 <= 0x7E) || (b2 >= 0x80 && b2 <= 0xFE)) {
            const unsigned pointer = (b - 0x81u) * 190u + (b2 - offset);
            const char16_t cp = kGb18030Index[pointer];
            if (cp != 0) {
                *out++ = cp;
                p += 2;
                continue;
            }
        }
        *out++ = kReplacement;
        // An ASCII second byte is read again; any other is swallowed.
        p += b2 < 0x80 ? 1 : 2;
    }
    text.truncate(qsizetype(out - begin));
    return text;
}

QByteArray encodeGbk(QStringView text)
{
    // Code point -> two-byte code; the first pointer of a code point wins.
    static const QHash<char16_t, quint16> codes = [] {
        QHash<char16_t, quint16> map;
        for (unsigned pointer = 0; pointer < std::size(kGb18030Index); ++pointer) {
            const char16_t cp = kGb18030Index[pointer];
            if (cp == 0 || map.contains(cp))
                continue;
            const unsigned trail = pointer % 190;
            map.insert(cp, quint16(((pointer / 190 + 0x81) << 8) | (trail + (trail < 0x3F ? 0x40 : 0x41))));
        }
        return map;
    }();
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80) {
            bytes.append(char(u));
        } else if (u == 0x20AC) {
            bytes.append(char(0x80));
        } else if (const auto it = codes.constFind(u); it != codes.constEnd()) {
            bytes.append(char(*it >> 8));
            bytes.append(char(*it & 0xFF));
        } else {
            bytes.append('?'); // surrogates included: GBK has no four-byte codes
        }
    }
    return bytes;
}

QString decodeUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    return decoder.decode(bytes);
}

QString decodeByLabel(QByteArrayView bytes, const QString &label)
{
    const QString name = label.trimmed().toLower();
    if (name == u"gb2312" || name == u"gbk" || name == u"gb18030")
        return decodeGbk(bytes);
    if (name == u"utf-8" || name == u"utf8")
        return decodeUtf8(bytes);
    QStringDecoder decoder(name.toLatin1().constData());
    if (!decoder.isValid())
        return QString();
    return decoder.decode(bytes);
}

} // namespace yz
