#include "app/Form1.h"
#include "app/Translations.h"
#include "net/ProxyChoice.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("yanzhou"));
    yz::installQtChinese(app);
    yz::ProxyChoice::install(std::nullopt); // the desktop's proxy, with all_proxy and no_proxy as users expect
    Form1 window;
    window.startUp();
    return app.exec();
}
