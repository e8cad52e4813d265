// A domain as typed, in every form the service takes it from a request.
#include "FuzzInput.h"
#include "server/DomainName.h"
#include "server/Pages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString typed = yzfuzz::textOf(data, size);
    const QString host = yz::server::hostKey(typed);
    if (!host.isEmpty()) {
        for (const QChar c : host)
            yzfuzz::check((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.',
                          "a key is a lower-case ASCII host name");
        yzfuzz::check(yz::server::hostKey(host) == host, "a key is its own key");
        yzfuzz::check(!yz::server::rankLookupNames(host).isEmpty(), "a key has lookup names");
        yz::server::DomainPageData data;
        data.host = host;
        data.tracked = true;
        data.nextDue = typed;
        const QByteArray page = yz::server::domainPage(data);
        yzfuzz::check(!page.contains("<script"), "no script on a page");
    }
    const QByteArray form = yz::server::registerPage(typed, typed, false);
    yzfuzz::check(!form.contains("<script") && !form.contains("<img"), "typed text escaped");
    const QByteArray lookup = yz::server::lookupFailedPage(typed);
    yzfuzz::check(!lookup.contains("<script") && !lookup.contains("<img"), "typed text escaped");
    return 0;
}
