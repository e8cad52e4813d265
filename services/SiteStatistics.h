#pragma once

#include "services/ServiceHosts.h"

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

inline constexpr int kStatisticsProviderCount = 2;

// Where users report a statistics page the program cannot read.
inline const QString kSupportMail = QStringLiteral("support@yanzhou.net");

} // namespace yz
