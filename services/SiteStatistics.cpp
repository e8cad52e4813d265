#include "services/SiteStatistics.h"

namespace yz {

std::optional<StatisticsProvider> statisticsProvider(const QString &type)
{
    if (type == u"0")
        return StatisticsProvider::Cnzz;
    if (type == u"1")
        return StatisticsProvider::La51;
    return std::nullopt;
}

QString statisticsLoginUrl(StatisticsProvider provider, const QString &siteId, const QString &password,
                           const ServiceHosts &hosts)
{
    if (provider == StatisticsProvider::Cnzz)
        return hosts.base(Service::Cnzz) + QStringLiteral("/v1/login.php?t=login&siteid=") + siteId
                + QStringLiteral("&password=") + password;
    return hosts.base(Service::La51) + QStringLiteral("/report/0_help.asp?id=") + siteId
            + QStringLiteral("&t=chalogin&lookpass=") + password;
}

} // namespace yz
