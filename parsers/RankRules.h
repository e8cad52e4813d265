#pragma once

#include <QRegularExpression>
#include <QString>

#include <array>
#include <optional>

namespace yz {

// The values of the rank grid read with one pattern each. The snapshot
// date's pattern holds "{domain}", which stands for the domain's text with
// every pattern character escaped.
enum class RankValue { PageRank, Alexa, SogouRank, Snapshot };
inline constexpr int kRankValueCount = 4;
inline constexpr char16_t kDomainInPattern[] = u"{domain}";

// How one of them is read: the first match of `pattern` (case-insensitive,
// over many lines), its capture group `group`, with `removal` deleted.
struct RankRule {
    QString pattern;
    int group = 1;
    QString removal;
};

// Checks a page pattern and its capture group: the compiled pattern, or
// nothing with the reason (and whether the group was at fault).
std::optional<QRegularExpression> compilePagePattern(const QString &pattern, int group, bool *groupFault,
                                                     QString *error);

// Why a page pattern found nothing when PCRE2 gave up rather than finding no
// match: its match limit, or a text that is not valid UTF-16.
QString patternGaveUpReason();

// What a page pattern found: the text, or nothing; `gaveUp` as above.
struct RuleMatch {
    std::optional<QString> text;
    bool gaveUp = false;
};

// The rank rules, compiled. The built-in set is what the window always uses;
// the command line and the service may replace them with a rules file's.
class RankRules {
public:
    RankRules(); // the built-in rules

    static const RankRules &builtIn();
    static RankRule builtInRule(RankValue value);

    const RankRule &rule(RankValue value) const { return m_values[size_t(value)].rule; }
    // Replaces a rule; refuses (saying whether the group was at fault) a
    // pattern that does not compile or has no such group.
    bool replace(RankValue value, const RankRule &rule, bool *groupFault, QString *error);

    // What the rule captures from the page, its removal deleted; nothing when
    // the page does not match or matching hit PCRE2's limits. `domain` takes
    // the place of "{domain}".
    RuleMatch read(RankValue value, const QString &html, const QString &domain = {}) const;

private:
    struct Compiled {
        RankRule rule;
        QRegularExpression pattern;
    };
    std::array<Compiled, kRankValueCount> m_values;
};

} // namespace yz
