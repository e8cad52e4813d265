#pragma once

#include <QString>

namespace yz {

// Form encoding of a text as a Chinese Windows system sends it: letters,
// digits and "*-.@_" stay, the blank becomes "+", every other character is
// percent-encoded from its GBK bytes ("中" -> "%D6%D0", "~" -> "%7E"), and a
// character GBK cannot hold is sent as "?" ("%3F").
QString urlencode(const QString &text);

} // namespace yz
