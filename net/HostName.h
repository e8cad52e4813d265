#pragma once

#include <QString>

#include <optional>

namespace yz {

// A host name as typed, brought to one form: a scheme, user, path, query,
// port and final dot dropped, letters folded to lower case, an
// internationalised name in its ASCII (xn--) form. Nothing when what is left
// is not a host name of at least two labels; `reason` says why, in Chinese.
std::optional<QString> normalizeHostName(const QString &typed, QString *reason);

} // namespace yz
