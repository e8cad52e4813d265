#pragma once

#include <QString>
#include <QStringList>

namespace yz::server {

// The host name a domain typed in the window stands for, as the service keys
// its data: lower-case ASCII (a Chinese name in its "xn--" form), without a
// scheme, path, port or final dot. The empty text when what was typed is not
// a host name of at least two labels (an address, "..", a blank, ...).
QString hostKey(const QString &typed);

// The names a rank is looked up under, most specific first: the host, then
// each parent domain down to two labels ("a.b.example.com", "b.example.com",
// "example.com").
QStringList rankLookupNames(const QString &host);

// The host name shown on a page: Unicode for an "xn--" name.
QString displayHost(const QString &host);

} // namespace yz::server
