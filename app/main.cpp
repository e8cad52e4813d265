#include "app/Form1.h"
#include "app/Translations.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("yanzhou"));
    yz::installQtChinese(app);
    Form1 window;
    window.startUp();
    return app.exec();
}
