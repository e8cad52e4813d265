#include "server/TrendChart.h"

#include <QBuffer>
#include <QFont>
#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace yz::server {
namespace {

void drawNoData(QPainter &painter, const QRect &area)
{
    painter.setFont(chartFont(13));
    painter.setPen(kChartText);
    painter.drawText(area, Qt::AlignCenter, QStringLiteral("暂无数据"));
}

} // namespace

std::pair<double, double> zoomedRange(const QList<HistoryPoint> &points)
{
    const auto [low, high] =
            std::minmax_element(points.begin(), points.end(),
                                [](const HistoryPoint &a, const HistoryPoint &b) { return a.count < b.count; });
    // The value range is zoomed to the data with a little room above and
    // below; a flat history sits in the middle.
    double bottom = double(low->count), top = double(high->count);
    const double margin = top > bottom ? (top - bottom) * 0.1 : std::max(1.0, top * 0.1);
    return {bottom - margin, top + margin};
}

QPainterPath trendPath(const QList<HistoryPoint> &points, const std::function<QPointF(const HistoryPoint &)> &at)
{
    // Years of daily counts are far more points than the plot has pixels:
    // per pixel column only the first, lowest, highest and last points can
    // show, so only those are drawn.
    QPainterPath line;
    line.moveTo(at(points.first()));
    qsizetype i = 1;
    while (i < points.size()) {
        const int column = int(at(points[i]).x());
        qsizetype low = i, high = i, last = i;
        for (; last + 1 < points.size() && int(at(points[last + 1]).x()) == column; ++last) {
            if (points[last + 1].count < points[low].count)
                low = last + 1;
            if (points[last + 1].count > points[high].count)
                high = last + 1;
        }
        line.lineTo(at(points[i]));
        for (const qsizetype k : {std::min(low, high), std::max(low, high), last}) {
            if (k != i)
                line.lineTo(at(points[k]));
        }
        i = last + 1;
    }
    return line;
}

void drawTrend(QPainter &painter, const QList<HistoryPoint> &points, const QRectF &plot,
               const std::function<QPointF(const HistoryPoint &)> &at, qreal lineWidth)
{
    const QPainterPath line = trendPath(points, at);
    QPainterPath area = line;
    area.lineTo(at(points.last()).x(), plot.bottom());
    area.lineTo(at(points.first()).x(), plot.bottom());
    area.closeSubpath();
    painter.fillPath(area, kChartFill);
    painter.setPen(QPen(kChartAxis, 1));
    painter.drawLine(plot.topLeft(), plot.bottomLeft());
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
    painter.setPen(QPen(kChartLine, lineWidth));
    painter.drawPath(line);
    if (points.size() == 1) {
        painter.setBrush(kChartLine);
        painter.drawEllipse(at(points.first()), lineWidth + 0.5, lineWidth + 0.5);
    }
}

QByteArray encodedImage(const QImage &image, const char *format, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

QFont chartFont(int pixelSize, bool bold)
{
    QFont font(QStringLiteral("WenQuanYi Zen Hei"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QByteArray drawTrendChart(const QList<HistoryPoint> &points)
{
    QImage image(kTrendChartWidth, kTrendChartHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(0xd0, 0xd0, 0xd0));
    painter.drawRect(0, 0, kTrendChartWidth - 1, kTrendChartHeight - 1);

    if (points.isEmpty()) {
        drawNoData(painter, image.rect());
        painter.end();
        return encodedImage(image, "JPEG", 90);
    }

    // The latest value above the plot, the first and last dates below it.
    QLocale numbers(QLocale::C);
    numbers.setNumberOptions({}); // with the thousands separator
    painter.setPen(kChartText);
    painter.setFont(chartFont(11, true));
    painter.drawText(QRect(5, 2, kTrendChartWidth - 10, 14), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("收录 ") + numbers.toString(points.last().count));
    painter.setFont(chartFont(9));
    const QRect dates(4, kTrendChartHeight - 13, kTrendChartWidth - 8, 12);
    painter.drawText(dates, Qt::AlignLeft | Qt::AlignVCenter, points.first().day.toString(Qt::ISODate));
    if (points.size() > 1)
        painter.drawText(dates, Qt::AlignRight | Qt::AlignVCenter, points.last().day.toString(Qt::ISODate));

    const QRectF plot(6, 19, kTrendChartWidth - 12, kTrendChartHeight - 19 - 16);
    // Plain variables: clang does not let a lambda capture structured bindings.
    const std::pair<double, double> range = zoomedRange(points);
    const double bottom = range.first, top = range.second;
    const qint64 firstDay = points.first().day.toJulianDay();
    const double span = std::max<qint64>(1, points.last().day.toJulianDay() - firstDay);
    auto at = [&](const HistoryPoint &p) {
        const double x = points.size() == 1
                ? plot.center().x()
                : plot.left() + plot.width() * double(p.day.toJulianDay() - firstDay) / span;
        const double y = plot.bottom() - plot.height() * (double(p.count) - bottom) / (top - bottom);
        return QPointF(x, y);
    };

    drawTrend(painter, points, plot, at, 1.5);
    painter.end();
    return encodedImage(image, "JPEG", 90);
}

} // namespace yz::server
