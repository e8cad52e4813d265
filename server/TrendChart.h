#pragma once

#include "server/VendorStore.h"

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QPainterPath>

#include <functional>
#include <utility>

namespace yz::server {

// The size of the window's picture box.
inline constexpr int kTrendChartWidth = 165;
inline constexpr int kTrendChartHeight = 97;

// A JPEG chart of a domain's indexed-page counts over time, oldest first:
// the line over an axis whose value range is zoomed to the data, the first
// and last dates below it and the latest value above it; "暂无数据" when
// there is no point. Needs a QGuiApplication for its fonts.
QByteArray drawTrendChart(const QList<HistoryPoint> &points);

// What the charts share: the value range zoomed to the points (not empty),
// the line through them placed by `at` (at most four points per pixel
// column), and the font.
std::pair<double, double> zoomedRange(const QList<HistoryPoint> &points);
QPainterPath trendPath(const QList<HistoryPoint> &points, const std::function<QPointF(const HistoryPoint &)> &at);
QFont chartFont(int pixelSize, bool bold = false);
// The charts' colours.
inline const QColor kChartLine(0x1f, 0x5f, 0xbf);
inline const QColor kChartFill(0xdc, 0xe8, 0xf8);
inline const QColor kChartAxis(0x80, 0x80, 0x80);
inline const QColor kChartText(0x30, 0x30, 0x30);
// An image encoded in `format` ("JPEG", "PNG") at `quality` (-1: the default).
QByteArray encodedImage(const QImage &image, const char *format, int quality = -1);
// The filled line over its axes in `plot` (a dot for a single point).
void drawTrend(QPainter &painter, const QList<HistoryPoint> &points, const QRectF &plot,
               const std::function<QPointF(const HistoryPoint &)> &at, qreal lineWidth);

} // namespace yz::server
