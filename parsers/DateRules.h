#pragma once

#include "parsers/RankRules.h"

#include <QRegularExpression>
#include <QString>

#include <optional>

namespace yz {

// The dates of the domain-information line read with one pattern each.
enum class DateValue { WhoisRegistered, WhoisExpires, FirstArchive };
inline constexpr int kDateValueCount = 3;

// Which of a date pattern's three capture groups holds the year, the month
// and the day. Auto: the first group is the year when it is longer than two
// characters, otherwise the day, with the year last; the month is the second.
enum class DateOrder { Auto, YearMonthDay, DayMonthYear, MonthDayYear };

// How one date is read: the first match of `pattern` in the lower-cased page
// (case-insensitive, over many lines), its groups 1 to 3 arranged by `order`
// as "year-month-day", a month name ("mar") turned into its number ("03").
struct DateRule {
    QString pattern;
    DateOrder order = DateOrder::Auto;
};

QString dateOrderName(DateOrder order);
std::optional<DateOrder> dateOrderNamed(const QString &name);

struct CompiledDateRule {
    DateRule rule;
    QRegularExpression pattern;
    bool builtInScan = true;
};

// The date rules, compiled. The built-in patterns keep hand-written scans
// that find what the patterns find, in linear time on hostile pages.
class DateRules : public RuleSet<DateRules, DateValue, CompiledDateRule, kDateValueCount> {
public:
    static DateRule builtInRule(DateValue value);
    static CompiledDateRule builtInEntry(DateValue value);

    // Replaces a rule; refuses a pattern that does not compile or has fewer
    // than three capture groups (both faults in field "pattern").
    bool replace(DateValue value, const DateRule &rule, RuleFault *fault);

    // The date the rule finds in the page (already lower-cased), or nothing;
    // `gaveUp` says whether PCRE2 stopped at its limits rather than finding
    // no match.
    std::optional<QString> read(DateValue value, const QString &lowerPage, bool *gaveUp) const;
};

// Month abbreviations to two-digit numbers, after lower-casing.
QString monthNumber(QString &value);

} // namespace yz
