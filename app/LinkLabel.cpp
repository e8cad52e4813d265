#include "app/LinkLabel.h"

#include "app/SongtiFont.h"

#include <QMouseEvent>

LinkLabel::LinkLabel(const QString &text, QWidget *parent, bool underlined)
    : QLabel(text, parent)
{
    QFont font = yz::songti(9);
    font.setUnderline(underlined);
    setFont(font);
    setTextFormat(Qt::PlainText); // captions may come from the network
    if (underlined)
        setCursor(Qt::PointingHandCursor);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
}
