#pragma once

class QCoreApplication;

namespace yz {

// Loads Qt's own Simplified-Chinese texts (the 确定 of a message box), which
// the program shows whatever the desktop's language: its whole window is in
// Chinese. False when Qt's translations are not installed.
bool installQtChinese(QCoreApplication &app);

} // namespace yz
