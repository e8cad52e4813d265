#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace yz {

// How a window shows a message box: title, text, and details for the box's
// expandable part (none when empty). Tests hand windows a recorder instead.
using MessageBoxFn = std::function<void(const QString &title, const QString &text, const QString &details)>;

// A modal box over `parent` with the title, the text and one OK button, drawn
// in the parent's face.
void showMessageBox(QWidget *parent, const QString &title, const QString &text, const QString &details);

} // namespace yz
