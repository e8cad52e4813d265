#include "settings/ProxySetting.h"

#include <QSettings>

namespace yz {
namespace {

const QString kProxyKey = QStringLiteral("network/proxy");

QSettings windowSettings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("yanzhou"), QStringLiteral("yanzhou"));
}

} // namespace

QString storedProxy()
{
    return windowSettings().value(kProxyKey).toString().trimmed();
}

bool storeProxy(const QString &proxy, QString *error)
{
    QSettings settings = windowSettings();
    if (proxy.trimmed().isEmpty())
        settings.remove(kProxyKey);
    else
        settings.setValue(kProxyKey, proxy.trimmed());
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return true;
    *error = QStringLiteral("无法写入 %1").arg(settings.fileName());
    return false;
}

} // namespace yz
