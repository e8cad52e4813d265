#pragma once

#include <QLabel>

// A caption that acts as a link: underlined 9-point 宋体, a hand cursor, and
// a clicked() signal.
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit LinkLabel(const QString &text, QWidget *parent = nullptr, bool underlined = true);

Q_SIGNALS:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};
