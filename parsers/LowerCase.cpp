#include "parsers/LowerCase.h"

#include <algorithm>

namespace yz {
namespace {

// Characters without case that need no look-up: CJK symbols, kana, ideographs, Hangul.
bool isCaselessWide(char16_t u)
{
    return (u >= 0x3000 && u <= 0x9FFF) || (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xF900 && u <= 0xFAFF);
}

} // namespace

QString lowerCasedPage(const QString &text)
{
    const auto *p = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype n = text.size();
    QString out(n, Qt::Uninitialized);
    char16_t *d = reinterpret_cast<char16_t *>(out.data());
    qsizetype j = 0;
    qsizetype i = 0;
    while (i < n) {
        const char16_t u = p[i];
        if (u < 0x80) {
            d[j++] = u >= u'A' && u <= u'Z' ? char16_t(u + 32) : u;
            ++i;
        } else if (isCaselessWide(u)) {
            d[j++] = u;
            ++i;
        } else {
            // Case mapping works code point by code point, so a run of the
            // other characters maps on its own as it would within the page.
            qsizetype end = i + 1;
            while (end < n && p[end] >= 0x80 && !isCaselessWide(p[end]))
                ++end;
            const QString lowered = QStringView(p + i, end - i).toString().toLower();
            // A few characters grow (İ becomes i and a combining dot).
            if (const qsizetype needed = j + lowered.size() + (n - end); needed > out.size()) {
                out.resize(needed);
                d = reinterpret_cast<char16_t *>(out.data());
            }
            std::copy_n(reinterpret_cast<const char16_t *>(lowered.constData()), lowered.size(), d + j);
            j += lowered.size();
            i = end;
        }
    }
    out.resize(j);
    return out;
}

} // namespace yz
