// A suggestion form body as any client could post it.
#include "FuzzInput.h"
#include "net/FormEncoding.h"
#include "server/SuggestionForm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body = yzfuzz::bytesOf(data, size);
    (void)yz::server::decodeSuggestionForm(body);
    // Whatever the window encodes comes back as typed (GBK-less characters as "?").
    const QString text = yzfuzz::textOf(data, size);
    const std::optional<QString> decoded = yz::server::decodeSuggestionForm("c=" + yz::urlencode(text).toLatin1());
    yzfuzz::check(decoded.has_value(), "the window's form has its field");
    yzfuzz::check(decoded->size() <= text.size(), "no text grows in a round trip");
    return 0;
}
