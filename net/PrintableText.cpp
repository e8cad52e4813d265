#include "net/PrintableText.h"

namespace yz {

QString printable(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        const char16_t u = c.unicode();
        // Controls, line and paragraph separators, bidirectional overrides.
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || (u >= 0x2028 && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069))
            c = QChar(0xFFFD);
    }
    return out;
}

} // namespace yz
