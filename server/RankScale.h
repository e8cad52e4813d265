#pragma once

#include <QtGlobal>

namespace yz::server {

// The 0-10 toolbar scale for a position in the imported ranks table (1 = the
// best-connected site): 10 - floor(log5(position)), at least 1, so positions
// 1-4 give 10, 5-24 give 9, 25-124 give 8, ... and 1,953,125-9,765,624 give 1,
// whatever the size of the table. A name not in the table (position 0) gives 0.
inline int toolbarRank(qint64 position)
{
    if (position <= 0)
        return 0;
    int power = 0;
    for (qint64 p = position; p >= 5; p /= 5)
        ++power;
    return power >= 9 ? 1 : 10 - power;
}

} // namespace yz::server
