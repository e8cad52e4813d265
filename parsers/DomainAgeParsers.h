#pragma once

#include "parsers/DateRules.h"
#include "query/Scraped.h"

#include <QString>

namespace yz {

// "registration至expiry" from a whois page, each side a date or "Unknown";
// unrecognised unless both dates were found.
Scraped scrapeWhoisDates(const QString &html, const DateRules &rules = DateRules::builtIn());

// The first-archive date from an archive listing: "year-month-day", or
// "NotMatch" when no date link is found.
Scraped scrapeFirstArchiveDate(const QString &html, const DateRules &rules = DateRules::builtIn());

} // namespace yz
