#include "app/HistoryChart.h"

#include <QLocale>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

QString countText(double value)
{
    return QLocale(QLocale::C).toString(qint64(value));
}

} // namespace

HistoryChart::HistoryChart(QWidget *parent)
    : QWidget(parent)
{
    setMinimumSize(480, 200);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
}

void HistoryChart::setPoints(const QList<std::pair<QDateTime, double>> &points, const QString &emptyText)
{
    m_points = points;
    m_emptyText = emptyText;
    update();
}

void HistoryChart::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (m_points.isEmpty()) {
        p.drawText(rect(), Qt::AlignCenter, m_emptyText);
        return;
    }
    const auto [low, high] = std::minmax_element(m_points.cbegin(), m_points.cend(),
                                                 [](const auto &a, const auto &b) { return a.second < b.second; });
    const double bottom = low->second;
    const double top = high->second > bottom ? high->second : bottom + 1;
    const qint64 first = m_points.first().first.toMSecsSinceEpoch();
    const qint64 span = std::max<qint64>(1, m_points.last().first.toMSecsSinceEpoch() - first);
    const QFontMetrics metrics = fontMetrics();
    const int left =
            std::max(metrics.horizontalAdvance(countText(top)), metrics.horizontalAdvance(countText(bottom))) + 12;
    const QRect plot = rect().adjusted(left, 10, -16, -metrics.height() - 12);

    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(plot.bottomLeft(), plot.bottomRight());
    p.drawLine(plot.bottomLeft(), plot.topLeft());
    p.setPen(palette().color(QPalette::Text));
    p.drawText(QRect(0, plot.top() - metrics.height() / 2, left - 6, metrics.height()), Qt::AlignRight, countText(top));
    p.drawText(QRect(0, plot.bottom() - metrics.height() / 2, left - 6, metrics.height()), Qt::AlignRight,
               countText(bottom));
    const QString format = QStringLiteral("yyyy-MM-dd");
    const QRect dates(plot.left(), plot.bottom() + 6, plot.width(), metrics.height());
    p.drawText(dates, Qt::AlignLeft, m_points.first().first.toLocalTime().toString(format));
    if (m_points.size() > 1)
        p.drawText(dates, Qt::AlignRight, m_points.last().first.toLocalTime().toString(format));

    const auto place = [&](const std::pair<QDateTime, double> &point) {
        const double x = double(point.first.toMSecsSinceEpoch() - first) / double(span);
        const double y = (point.second - bottom) / (top - bottom);
        return QPointF(plot.left() + x * plot.width(), plot.bottom() - y * plot.height());
    };
    QPainterPath line(place(m_points.first()));
    for (const auto &point : m_points)
        line.lineTo(place(point));
    p.setPen(QPen(palette().color(QPalette::Highlight), 2));
    p.drawPath(line);
    p.setBrush(palette().color(QPalette::Highlight));
    for (const auto &point : m_points)
        p.drawEllipse(place(point), 2.5, 2.5);
}
