#pragma once

#include <QString>

namespace yz {

// The text with control characters (which a hostile page or client could use
// to move the cursor or retitle the terminal), line separators and
// bidirectional overrides shown as U+FFFD: safe to print on a terminal.
QString printable(const QString &text);

} // namespace yz
