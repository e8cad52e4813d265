#include "parsers/StatisticsRules.h"

#include "parsers/PrefixAnchoredPattern.h"

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

} // namespace

QString statisticsLine(const QString &todayIp, const QString &todayPv, const QString &yesterdayIp,
                       const QString &yesterdayPv)
{
    return QStringLiteral("我的网站统计 今日(") + todayIp + QStringLiteral("IP ") + todayPv
            + QStringLiteral("PV) 昨日(") + yesterdayIp + QStringLiteral("IP ") + yesterdayPv + QStringLiteral("PV)");
}

CompiledStatisticsRule StatisticsRules::builtInEntry(StatisticsProvider provider)
{
    const StatisticsRule rule = builtInRule(provider);
    return {rule, QRegularExpression(rule.pattern, kPageOptions)};
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

bool StatisticsRules::replace(StatisticsProvider provider, const StatisticsRule &rule, RuleFault *fault)
{
    // A report page has a few dozen numbers; a pick far beyond is a mistake.
    constexpr int kMaxMatch = 1000;
    const bool taken = [&] {
        const std::optional<QRegularExpression> re = compilePattern(rule.pattern, fault);
        if (!re)
            return false;
        for (const StatisticsPick &pick : {rule.todayIp, rule.todayPv, rule.yesterdayIp, rule.yesterdayPv}) {
            if (pick.match < 1 || pick.match > kMaxMatch) {
                fault->reason = QStringLiteral("第 %1 次匹配不存在（从 1 到 %2）").arg(pick.match).arg(kMaxMatch);
                return false;
            }
            if (!hasGroup(*re, pick.group, fault))
                return false;
        }
        if (rule.wrongPassword.isEmpty()) {
            fault->reason = QStringLiteral("密码错误的标记不能为空");
            return false;
        }
        entry(provider) = {rule, *re};
        return true;
    }();
    if (!taken)
        fault->field.clear(); // the rule as a whole: its entries are named by the service
    return taken;
}

StatisticsResult StatisticsRules::scrape(StatisticsProvider provider, const QString &html) const
{
    const CompiledStatisticsRule &c = entry(provider);
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
