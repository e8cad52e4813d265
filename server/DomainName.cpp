#include "server/DomainName.h"

#include "net/HostName.h"

#include <QUrl>

#include <algorithm>

namespace yz::server {
QString hostKey(const QString &typed)
{
    QString reason;
    const std::optional<QString> name = normalizeHostName(typed, &reason);
    if (!name)
        return {};
    // A name of digits alone at the end is an address, not a host name.
    const QStringView last = QStringView(*name).mid(name->lastIndexOf(u'.') + 1);
    return std::all_of(last.begin(), last.end(), [](QChar c) { return c.isDigit(); }) ? QString() : *name;
}

QStringList rankLookupNames(const QString &host)
{
    QStringList names;
    QStringList labels = host.split(u'.');
    while (labels.size() >= 2) {
        names.append(labels.join(u'.'));
        labels.removeFirst();
    }
    return names;
}

QString displayHost(const QString &host)
{
    return QUrl::fromAce(host.toLatin1());
}

} // namespace yz::server
