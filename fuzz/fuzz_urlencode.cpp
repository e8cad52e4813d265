// Suggestion text through the form encoding.
#include "FuzzInput.h"
#include "net/FormEncoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString encoded = yz::urlencode(yzfuzz::textOf(data, size));
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        const QChar c = encoded.at(i);
        const bool kept = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
                || QStringView(u".-_@*+").contains(c);
        if (c == u'%') {
            const QStringView hex = QStringView(encoded).mid(i + 1, 2);
            yzfuzz::check(hex.size() == 2 && hex.toString() == hex.toString().toUpper(), "upper-case hex");
            bool ok = false;
            (void)hex.toInt(&ok, 16);
            yzfuzz::check(ok, "hex digits");
            i += 2;
        } else {
            yzfuzz::check(kept, "only kept characters unescaped");
        }
    }
    return 0;
}
