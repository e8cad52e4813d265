#pragma once

#include "server/VendorStore.h"

#include <QByteArray>
#include <QList>

namespace yz::server {

// The size of the window's picture box.
inline constexpr int kTrendChartWidth = 165;
inline constexpr int kTrendChartHeight = 97;

// A JPEG chart of a domain's indexed-page counts over time, oldest first:
// the line over an axis whose value range is zoomed to the data, the first
// and last dates below it and the latest value above it; "暂无数据" when
// there is no point. Needs a QGuiApplication for its fonts.
QByteArray drawTrendChart(const QList<HistoryPoint> &points);

} // namespace yz::server
