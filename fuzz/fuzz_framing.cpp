// A connection's bytes as any client could send them: framed the same
// whether they arrive at once or in two pieces, and every request framed
// alone again reads as itself.
#include "FuzzInput.h"
#include "server/RequestFraming.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = yzfuzz::bytesOf(data, size);
    QList<yz::server::FramedRequest> whole;
    const std::optional<yz::server::FramingError> error = yz::server::RequestFramer().feed(bytes, whole);
    const qsizetype cut = bytes.isEmpty() ? 0 : qsizetype(static_cast<unsigned char>(bytes.front())) % bytes.size();
    yz::server::RequestFramer framer;
    QList<yz::server::FramedRequest> split;
    std::optional<yz::server::FramingError> splitError = framer.feed(QByteArrayView(bytes).first(cut), split);
    if (!splitError)
        splitError = framer.feed(QByteArrayView(bytes).sliced(cut), split);
    yzfuzz::check(bool(error) == bool(splitError), "an error does not depend on how the bytes arrive");
    yzfuzz::check(whole.size() == split.size(), "the same requests however the bytes arrive");
    for (qsizetype i = 0; i < whole.size(); ++i) {
        yzfuzz::check(whole[i].bytes == split[i].bytes, "the same bytes per request");
        QList<yz::server::FramedRequest> again;
        yzfuzz::check(!yz::server::RequestFramer().feed(whole[i].bytes, again) && again.size() == 1
                              && again[0].bytes == whole[i].bytes,
                      "a framed request frames as itself");
    }
    return 0;
}
