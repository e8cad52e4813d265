#pragma once

#include "parsers/RuleSet.h"
#include "services/SiteStatistics.h"

#include <QRegularExpression>
#include <QString>

namespace yz {

// How the statistics providers' report pages are read.

struct StatisticsResult {
    enum class Kind {
        Line, // `line` holds the statistics line
        WrongPassword, // the provider refused the password
        Unrecognised, // neither counts nor the password notice: `line` has empty numbers
        TooFew, // the counts pattern matched too few times: nothing changes
    };
    Kind kind = Kind::TooFew;
    QString line;
};

// Where one number of the statistics line is on the report page: capture
// group `group` of the pattern's `match`-th match, both from 1.
struct StatisticsPick {
    int match = 1;
    int group = 1;
};

// How a provider's report page is read: every match of `pattern`
// (case-insensitive, over many lines), the four numbers picked from them, and
// the text of the page refusing the password.
struct StatisticsRule {
    QString pattern;
    StatisticsPick todayIp, todayPv, yesterdayIp, yesterdayPv;
    QString wrongPassword;
};

struct CompiledStatisticsRule {
    StatisticsRule rule;
    QRegularExpression pattern;
};

// The providers' rules, compiled. The built-in set is what the window uses.
class StatisticsRules
    : public RuleSet<StatisticsRules, StatisticsProvider, CompiledStatisticsRule, kStatisticsProviderCount> {
public:
    static StatisticsRule builtInRule(StatisticsProvider provider);
    static CompiledStatisticsRule builtInEntry(StatisticsProvider provider);

    // Replaces a rule; refuses a pattern that does not compile, a pick of a
    // group the pattern lacks or of no match, and an empty password text:
    // faults of the rule as a whole (no field), which spans two entries.
    bool replace(StatisticsProvider provider, const StatisticsRule &rule, RuleFault *fault);

    // Today's and yesterday's IP and PV counts from the provider's report page.
    StatisticsResult scrape(StatisticsProvider provider, const QString &html) const;
};

// The provider's report page read with the built-in rules.
StatisticsResult scrapeStatistics(StatisticsProvider provider, const QString &html);

// The line shown for the four counts.
QString statisticsLine(const QString &todayIp, const QString &todayPv, const QString &yesterdayIp,
                       const QString &yesterdayPv);

} // namespace yz
