#include "services/SiteStatistics.h"

#include <QRegularExpression>

namespace yz {
namespace {

// Submatch 0 of every match of a pattern, in page order.
QList<QStringList> allMatches(const QRegularExpression &re, const QString &html)
{
    QList<QStringList> found;
    for (auto it = re.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        found << m.capturedTexts().mid(1);
    }
    return found;
}

constexpr auto kOptions = QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption;

} // namespace

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

QString statisticsLine(const QString &todayIp, const QString &todayPv, const QString &yesterdayIp,
                       const QString &yesterdayPv)
{
    return QStringLiteral("我的网站统计 今日(") + todayIp + QStringLiteral("IP ") + todayPv
            + QStringLiteral("PV) 昨日(") + yesterdayIp + QStringLiteral("IP ") + yesterdayPv + QStringLiteral("PV)");
}

StatisticsResult scrapeStatistics(StatisticsProvider provider, const QString &html)
{
    static const QRegularExpression cnzz(QStringLiteral("<td class=\"num1\"><strong>(\\d+)</strong></td>"), kOptions);
    static const QRegularExpression la51(QStringLiteral("</td><td>(\\d+) IP</td><td>(\\d+) PV</td></tr>"), kOptions);
    const bool isCnzz = provider == StatisticsProvider::Cnzz;
    const QList<QStringList> found = allMatches(isCnzz ? cnzz : la51, html);
    StatisticsResult result;
    if (!found.isEmpty()) {
        if (isCnzz && found.size() >= 7) {
            result.kind = StatisticsResult::Kind::Line;
            result.line = statisticsLine(found[2][0], found[0][0], found[6][0], found[4][0]);
        } else if (!isCnzz && found.size() >= 3) {
            result.kind = StatisticsResult::Kind::Line;
            result.line = statisticsLine(found[1][0], found[1][1], found[2][0], found[2][1]);
        }
        return result;
    }
    if (html.contains(isCnzz ? QStringLiteral("密码出错") : QStringLiteral("错误或无效的密码"))) {
        result.kind = StatisticsResult::Kind::WrongPassword;
        return result;
    }
    result.kind = StatisticsResult::Kind::Unrecognised;
    result.line = statisticsLine(QString(), QString(), QString(), QString());
    return result;
}

} // namespace yz
