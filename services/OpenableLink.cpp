#include "services/OpenableLink.h"

namespace yz {

std::optional<QUrl> openableLink(const QString &address)
{
    const QString trimmed = address.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    const QUrl url(trimmed, QUrl::TolerantMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != u"http" && scheme != u"https") || url.host().isEmpty())
        return std::nullopt;
    return url;
}

} // namespace yz
