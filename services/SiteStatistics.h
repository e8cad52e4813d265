#pragma once

#include "services/ServiceHosts.h"

#include <QRegularExpression>
#include <QString>

#include <array>

#include <optional>

namespace yz {

// The statistics providers of the user's own site.
enum class StatisticsProvider { Cnzz = 0, La51 = 1 };

// The provider a stored or typed type means ("0"/0 CNZZ, "1"/1 51LA).
std::optional<StatisticsProvider> statisticsProvider(const QString &type);

// The provider's login address for the report, with the ID and password
// inserted as they are.
QString statisticsLoginUrl(StatisticsProvider provider, const QString &siteId, const QString &password,
                           const ServiceHosts &hosts);

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
inline constexpr int kStatisticsProviderCount = 2;

// The providers' rules, compiled. The built-in set is what the window uses.
class StatisticsRules {
public:
    StatisticsRules(); // the built-in rules

    static const StatisticsRules &builtIn();
    static StatisticsRule builtInRule(StatisticsProvider provider);

    const StatisticsRule &rule(StatisticsProvider provider) const { return m_rules[size_t(provider)].rule; }
    // Replaces a rule; refuses a pattern that does not compile, a pick of a
    // group the pattern lacks or of no match, and an empty password text.
    bool replace(StatisticsProvider provider, const StatisticsRule &rule, QString *error);

    // Today's and yesterday's IP and PV counts from the provider's report page.
    StatisticsResult scrape(StatisticsProvider provider, const QString &html) const;

private:
    struct Compiled {
        StatisticsRule rule;
        QRegularExpression pattern;
    };
    std::array<Compiled, kStatisticsProviderCount> m_rules;
};

// The provider's report page read with the built-in rules.
StatisticsResult scrapeStatistics(StatisticsProvider provider, const QString &html);

// The line shown for the four counts.
QString statisticsLine(const QString &todayIp, const QString &todayPv, const QString &yesterdayIp,
                       const QString &yesterdayPv);

// Where users report a statistics page the program cannot read.
inline const QString kSupportMail = QStringLiteral("support@yanzhou.net");

} // namespace yz
