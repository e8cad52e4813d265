#pragma once

#include <QString>

namespace yz {

// Month abbreviations to two-digit numbers, after lower-casing.
QString monthNumber(QString &value);

// "registration至expiry" from a whois page, each side a date or "Unknown".
QString scrapeWhoisDates(const QString &html);

// The first-archive date from an archive listing: "year-month-day", or
// "NotMatch" when no date link is found.
QString scrapeFirstArchiveDate(const QString &html);

} // namespace yz
