#include "app/Form1.h"
#include "app/Translations.h"
#include "net/ProxyChoice.h"
#include "settings/ProxySetting.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("yanzhou"));
    yz::installQtChinese(app);
    // The proxy of the settings dialog, else the desktop's, with all_proxy and
    // no_proxy as users expect.
    QString ignored;
    yz::ProxyChoice::install(yz::parseProxyUrl(yz::storedProxy(), &ignored));
    Form1 window;
    window.startUp();
    return app.exec();
}
