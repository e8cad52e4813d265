#pragma once

#include <QByteArray>
#include <QLabel>

namespace yz {

// Decodes the bytes as an image and draws it at its own size with its
// top-left corner at the box's, over what the box shows and cut off at the
// box's edges. Bytes that are no image draw nothing. The drawing lives in the
// box's pixmap, so a repaint keeps it.
void drawPic(const QByteArray &bytes, QLabel *box);

// Makes the box show `picture` alone, from its top-left corner.
void showPicture(QLabel *box, const QPixmap &picture);

} // namespace yz
