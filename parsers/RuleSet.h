#pragma once

#include <QRegularExpression>
#include <QString>

#include <array>
#include <cstddef>
#include <optional>

namespace yz {

// Why a rule was refused: the field at fault, named as a rules file names
// it relative to the rule's own entry ("pattern", "group", "empty"; empty
// for the rule as a whole), and the reason.
struct RuleFault {
    QString field;
    QString reason;
};

// "{domain}" in a page pattern stands for the domain's text, every pattern
// character escaped.
inline constexpr char16_t kDomainInPattern[] = u"{domain}";
QString withDomain(QString pattern, const QString &domain);

// Compiles a pattern (case-insensitive, over many lines): the compiled
// pattern, or nothing with the fault in field "pattern".
std::optional<QRegularExpression> compilePattern(const QString &pattern, RuleFault *fault);
// The same for a page pattern, checked as it will be used (with a domain in
// place of "{domain}").
std::optional<QRegularExpression> compilePagePattern(const QString &pattern, RuleFault *fault);
// Whether the pattern has capture group `group` (from 1); the fault, in
// field "group", when it has not.
bool hasGroup(const QRegularExpression &pattern, int group, RuleFault *fault);
// Both: a pattern whose value is in capture group `group`.
std::optional<QRegularExpression> compilePagePattern(const QString &pattern, int group, RuleFault *fault);

// Why a page pattern found nothing when PCRE2 gave up rather than finding no
// match: its match limit, or a text that is not valid UTF-16.
QString patternGaveUpReason();

// The rules of one kind, one for each of the N values of `Kind`, each kept
// with what it compiles to (`Compiled`, whose `rule` is the rule as
// written). `Rules` is the kind's own class: its static builtInEntry(Kind)
// makes a built-in rule's entry (a default-made set holds them all), and
// its replace(Kind, const Rule &, RuleFault *) checks a rule before it
// takes its place.
template <typename Rules, typename Kind, typename Compiled, std::size_t N> class RuleSet {
public:
    static const Rules &builtIn()
    {
        static const Rules rules;
        return rules;
    }

    const auto &rule(Kind kind) const { return entry(kind).rule; }

protected:
    RuleSet()
    {
        for (std::size_t i = 0; i < N; ++i)
            m_entries[i] = Rules::builtInEntry(Kind(i));
    }

    const Compiled &entry(Kind kind) const { return m_entries[std::size_t(kind)]; }
    Compiled &entry(Kind kind) { return m_entries[std::size_t(kind)]; }

    std::array<Compiled, N> m_entries;
};

} // namespace yz
