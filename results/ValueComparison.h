#pragma once

#include <QDate>
#include <QList>
#include <QString>

#include <optional>

namespace yz {

// What a stored cell says about its metric: a value the service gave ("ok",
// "none"), a query that failed or was refused (no value: the next good value
// is compared with the last good one), or nothing (a cell no query fills).
enum class Measured { Nothing, Value, Failure };
Measured measuredBy(const QString &status);

// A count with the page's separators and blanks dropped ("12,345", " 9876 "),
// as digits without leading zeros; nothing when the text is no count.
std::optional<QString> countDigits(const QString &text);
// The dates a text names ("2001-02-03至2030-04-05", "2009年12月20日"), in order.
QList<QDate> datesIn(const QString &text);

// Whether two values are the same: counts as numbers, texts naming dates as
// those dates, any other text with its blanks trimmed.
bool sameValue(const QString &a, const QString &b);

// The change from one count to another in per cent ("+1.6%", "-50%"); empty
// when either is no count or the old one is zero.
QString percentChange(const QString &before, const QString &after);

} // namespace yz
