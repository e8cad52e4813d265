#pragma once

#include <QDateTime>
#include <QList>
#include <QWidget>

// A line chart of one count over time: the points joined in time order, the
// lowest and highest counts on the left axis, the first and last dates
// below. Drawn with QPainter: the window loads no chart library at start.
class HistoryChart : public QWidget {
    Q_OBJECT
public:
    explicit HistoryChart(QWidget *parent = nullptr);

    // The points to draw, and the text shown instead when there are none.
    void setPoints(const QList<std::pair<QDateTime, double>> &points, const QString &emptyText);
    const QList<std::pair<QDateTime, double>> &points() const { return m_points; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QList<std::pair<QDateTime, double>> m_points;
    QString m_emptyText;
};
