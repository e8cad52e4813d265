#include "app/MessageBox.h"

#include <QMessageBox>

namespace yz {

void showMessageBox(QWidget *parent, const QString &title, const QString &text, const QString &details)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.setAttribute(Qt::WA_WindowPropagation);
    if (!details.isEmpty())
        box.setDetailedText(details);
    box.exec();
}

} // namespace yz
