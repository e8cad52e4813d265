#pragma once

#include <QPoint>
#include <QSize>

class QWidget;

namespace yz {

// Where a window of this size sits centred on a screen of that size.
QPoint centredPosition(const QSize &screen, const QSize &window);
// Moves a window to the middle of the primary screen.
void centreOnScreen(QWidget *window);
// Shows a window, or brings it to the front when it is already shown.
void bringUp(QWidget *window);

} // namespace yz
