// Domain text as a user may type it, through the root-domain test.
#include "FuzzInput.h"
#include "query/RootDomain.h"

#include <QRegularExpression>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = yzfuzz::textOf(data, size);
    const yz::RootDomainResult r = yz::findRootDomain(text);
    if (r.ok) {
        // The root is a label and a suffix, of host-name characters only. (It
        // need not be the end of the text: the suffix is found anywhere.)
        static const QRegularExpression host(QStringLiteral("^[0-9a-zA-Z\\-]+\\.[0-9a-zA-Z.]+$"));
        yzfuzz::check(host.match(r.root).hasMatch() && r.root.size() <= text.size(), "a host-name root");
    } else
        yzfuzz::check(r.message == u"错误的域名格式1" || r.message == u"错误的域名格式2", "a known message");
    return 0;
}
