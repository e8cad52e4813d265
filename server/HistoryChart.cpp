#include "server/HistoryChart.h"

#include "server/TrendChart.h"

#include <QImage>
#include <QLocale>
#include <QPainter>

#include <cmath>

namespace yz::server {
namespace {

const QColor kGrid(0xe4, 0xe4, 0xe4);
constexpr int kValueTicks = 5;
constexpr int kDateTicks = 6;

// A round step (1, 2 or 5 times a power of ten) that cuts the range into
// about `ticks` parts.
double niceStep(double range, int ticks)
{
    const double raw = range / ticks;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 5.0})
        if (raw <= factor * power)
            return factor * power;
    return 10 * power;
}

} // namespace

QByteArray drawHistoryChart(const QList<HistoryPoint> &points)
{
    QImage image(kHistoryChartWidth, kHistoryChartHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (points.isEmpty()) {
        painter.setFont(chartFont(16));
        painter.setPen(kChartText);
        painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("暂无数据"));
        painter.end();
        return encodedImage(image, "PNG");
    }
    QLocale numbers(QLocale::C);
    numbers.setNumberOptions({}); // with the thousands separator
    const QRectF plot(92, 14, kHistoryChartWidth - 92 - 24, kHistoryChartHeight - 14 - 40);
    // Plain variables: clang does not let a lambda capture structured bindings.
    const std::pair<double, double> range = zoomedRange(points);
    double bottom = std::max(0.0, range.first), top = range.second;
    const double step = niceStep(top - bottom, kValueTicks);
    bottom = std::floor(bottom / step) * step;
    top = std::ceil(top / step) * step;
    const qint64 firstDay = points.first().day.toJulianDay();
    const qint64 days = points.last().day.toJulianDay() - firstDay;
    const auto xOf = [&](qint64 julianDay) {
        return days == 0 ? plot.center().x() : plot.left() + plot.width() * double(julianDay - firstDay) / double(days);
    };
    const auto at = [&](const HistoryPoint &p) {
        return QPointF(xOf(p.day.toJulianDay()),
                       plot.bottom() - plot.height() * (double(p.count) - bottom) / (top - bottom));
    };

    // Counts on the left, a grid line at each.
    painter.setFont(chartFont(12));
    for (double value = bottom; value <= top + step / 2; value += step) {
        const double y = plot.bottom() - plot.height() * (value - bottom) / (top - bottom);
        painter.setPen(kGrid);
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(kChartText);
        painter.drawText(QRectF(0, y - 9, plot.left() - 8, 18), Qt::AlignRight | Qt::AlignVCenter,
                         numbers.toString(qint64(std::llround(value))));
    }
    // Dates below, spread over the days the history covers.
    const int dateTicks = days == 0 ? 1 : int(std::min<qint64>(kDateTicks, days + 1));
    for (int i = 0; i < dateTicks; ++i) {
        const qint64 day = dateTicks == 1 ? firstDay : firstDay + days * i / (dateTicks - 1);
        const double x = xOf(day);
        painter.setPen(kChartAxis);
        painter.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + 4));
        painter.setPen(kChartText);
        const Qt::Alignment align = i == 0 && dateTicks > 1 ? Qt::AlignLeft
                : i == dateTicks - 1 && dateTicks > 1       ? Qt::AlignRight
                                                            : Qt::AlignHCenter;
        const double left = align == Qt::AlignLeft ? x : align == Qt::AlignRight ? x - 100 : x - 50;
        painter.drawText(QRectF(left, plot.bottom() + 6, 100, 18), align | Qt::AlignTop,
                         QDate::fromJulianDay(day).toString(Qt::ISODate));
    }

    drawTrend(painter, points, plot, at, 2);
    painter.end();
    return encodedImage(image, "PNG");
}

} // namespace yz::server
