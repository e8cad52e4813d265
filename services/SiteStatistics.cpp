#include "services/SiteStatistics.h"

#include <QRegularExpression>

#include <algorithm>

namespace yz {
namespace {

// The capture groups of every match of a pattern, in page order.
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

StatisticsRules::StatisticsRules()
{
    for (int p = 0; p < kStatisticsProviderCount; ++p) {
        Compiled &c = m_rules[size_t(p)];
        c.rule = builtInRule(StatisticsProvider(p));
        c.pattern = QRegularExpression(c.rule.pattern, kOptions);
    }
}

const StatisticsRules &StatisticsRules::builtIn()
{
    static const StatisticsRules rules;
    return rules;
}

StatisticsRule StatisticsRules::builtInRule(StatisticsProvider provider)
{
    if (provider == StatisticsProvider::Cnzz)
        return {QStringLiteral("<td class=\"num1\"><strong>(\\d+)</strong></td>"),
                {3, 1},
                {1, 1},
                {7, 1},
                {5, 1},
                QStringLiteral("密码出错")};
    return {QStringLiteral("</td><td>(\\d+) IP</td><td>(\\d+) PV</td></tr>"),
            {2, 1},
            {2, 2},
            {3, 1},
            {3, 2},
            QStringLiteral("错误或无效的密码")};
}

bool StatisticsRules::replace(StatisticsProvider provider, const StatisticsRule &rule, QString *error)
{
    // A report page has a few dozen numbers; a pick far beyond is a mistake.
    constexpr int kMaxMatch = 1000;
    QRegularExpression re(rule.pattern, kOptions);
    if (!re.isValid()) {
        *error = QStringLiteral("正则表达式无法编译（%1，位置 %2）").arg(re.errorString()).arg(re.patternErrorOffset());
        return false;
    }
    for (const StatisticsPick &pick : {rule.todayIp, rule.todayPv, rule.yesterdayIp, rule.yesterdayPv}) {
        if (pick.match < 1 || pick.match > kMaxMatch) {
            *error = QStringLiteral("第 %1 次匹配不存在（从 1 到 %2）").arg(pick.match).arg(kMaxMatch);
            return false;
        }
        if (pick.group < 1 || pick.group > re.captureCount()) {
            *error = QStringLiteral("没有第 %1 个捕获组（共 %2 个）").arg(pick.group).arg(re.captureCount());
            return false;
        }
    }
    if (rule.wrongPassword.isEmpty()) {
        *error = QStringLiteral("密码错误的标记不能为空");
        return false;
    }
    re.optimize();
    m_rules[size_t(provider)] = {rule, re};
    return true;
}

StatisticsResult StatisticsRules::scrape(StatisticsProvider provider, const QString &html) const
{
    const Compiled &c = m_rules[size_t(provider)];
    const StatisticsRule &r = c.rule;
    const QList<QStringList> found = allMatches(c.pattern, html);
    StatisticsResult result;
    if (!found.isEmpty()) {
        const int needed = std::max({r.todayIp.match, r.todayPv.match, r.yesterdayIp.match, r.yesterdayPv.match});
        if (found.size() >= needed) {
            const auto number = [&](const StatisticsPick &p) { return found[p.match - 1].value(p.group - 1); };
            result.kind = StatisticsResult::Kind::Line;
            result.line =
                    statisticsLine(number(r.todayIp), number(r.todayPv), number(r.yesterdayIp), number(r.yesterdayPv));
        }
        return result;
    }
    if (html.contains(r.wrongPassword)) {
        result.kind = StatisticsResult::Kind::WrongPassword;
        return result;
    }
    result.kind = StatisticsResult::Kind::Unrecognised;
    result.line = statisticsLine(QString(), QString(), QString(), QString());
    return result;
}

StatisticsResult scrapeStatistics(StatisticsProvider provider, const QString &html)
{
    return StatisticsRules::builtIn().scrape(provider, html);
}

} // namespace yz
