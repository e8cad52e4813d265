#pragma once

#include "server/VendorStore.h"

#include <QByteArray>
#include <QList>

namespace yz::server {

inline constexpr int kHistoryChartWidth = 720;
inline constexpr int kHistoryChartHeight = 300;

// The domain page's large PNG chart of the stored counts, oldest first: the
// line over a grid, counts on the left axis and dates below, "暂无数据"
// without a point. Needs a QGuiApplication for its fonts.
QByteArray drawHistoryChart(const QList<HistoryPoint> &points);

} // namespace yz::server
