#pragma once

#include "parsers/RuleSet.h"

#include <QRegularExpression>
#include <QString>

#include <optional>

namespace yz {

// The values of the rank grid read with one pattern each. The snapshot
// date's pattern holds "{domain}", which stands for the domain's text with
// every pattern character escaped.
enum class RankValue { PageRank, Alexa, SogouRank, Snapshot };
inline constexpr int kRankValueCount = 4;

// How one of them is read: the first match of `pattern` (case-insensitive,
// over many lines), its capture group `group`, with `removal` deleted.
struct RankRule {
    QString pattern;
    int group = 1;
    QString removal;
};

// What a page pattern found: the text, or nothing; `gaveUp` as above.
struct RuleMatch {
    std::optional<QString> text;
    bool gaveUp = false;
};

struct CompiledRankRule {
    RankRule rule;
    QRegularExpression pattern;
};

// The rank rules, compiled. The built-in set is what the window always uses;
// the command line and the service may replace them with a rules file's.
class RankRules : public RuleSet<RankRules, RankValue, CompiledRankRule, kRankValueCount> {
public:
    static RankRule builtInRule(RankValue value);
    static CompiledRankRule builtInEntry(RankValue value);

    // Replaces a rule; refuses a pattern that does not compile or has no
    // such group.
    bool replace(RankValue value, const RankRule &rule, RuleFault *fault);

    // What the rule captures from the page, its removal deleted; nothing when
    // the page does not match or matching hit PCRE2's limits. `domain` takes
    // the place of "{domain}".
    RuleMatch read(RankValue value, const QString &html, const QString &domain = {}) const;
};

} // namespace yz
