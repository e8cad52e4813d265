#pragma once

#include "services/ServiceHosts.h"

#include <QString>

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

// Today's and yesterday's IP and PV counts from the provider's report page.
StatisticsResult scrapeStatistics(StatisticsProvider provider, const QString &html);

// The line shown for the four counts.
QString statisticsLine(const QString &todayIp, const QString &todayPv, const QString &yesterdayIp,
                       const QString &yesterdayPv);

// Where users report a statistics page the program cannot read.
inline const QString kSupportMail = QStringLiteral("support@yanzhou.net");

} // namespace yz
