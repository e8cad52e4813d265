#pragma once

#include <QFont>

namespace yz {

// The window's "宋体" at the given size. On a system without it the first
// installed CJK face of a fixed list stands in, so Chinese text never falls
// back to whatever face fontconfig sorts first.
QFont songti(qreal pointSize);

} // namespace yz
