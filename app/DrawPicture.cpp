#include "app/DrawPicture.h"

#include <QImage>
#include <QPainter>

namespace yz {
namespace {

QPixmap surfaceOf(QLabel *box)
{
    QPixmap surface = box->pixmap();
    if (surface.size() != box->contentsRect().size()) {
        surface = QPixmap(box->contentsRect().size());
        surface.fill(box->palette().color(QPalette::Window));
    }
    return surface;
}

} // namespace

void drawPic(const QByteArray &bytes, QLabel *box)
{
    QImage image;
    if (!image.loadFromData(bytes))
        return;
    QPixmap surface = surfaceOf(box);
    {
        QPainter painter(&surface);
        painter.drawImage(QPoint(0, 0), image);
    }
    box->setPixmap(surface);
}

void showPicture(QLabel *box, const QPixmap &picture)
{
    QPixmap surface(box->contentsRect().size());
    surface.fill(box->palette().color(QPalette::Window));
    {
        QPainter painter(&surface);
        painter.drawPixmap(QPoint(0, 0), picture);
    }
    box->setPixmap(surface);
}

} // namespace yz
