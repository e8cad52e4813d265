#pragma once

#include "parsers/RuleSet.h"
#include "query/Scraped.h"

#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>

namespace yz {

// The search engines whose result pages state a count.
enum class Engine { Baidu, Google, Yahoo, Sogou, Youdao, Soso };
inline constexpr int kEngineCount = 6;

// What one engine's result page is recognised by.
struct CountRule {
    QString pattern; // matched case-insensitively over many lines
    int group = 1; // the capture group holding the count, from 1
    QString removal; // deleted from the count (the engine's separator)
    QString emptyMarker; // its page saying nothing was found (no pattern characters)
    QStringList refusalMarkers; // case-sensitive texts of its page refusing automated queries
};

class PrefixAnchoredPattern;

struct CompiledCountRule {
    CountRule rule;
    // The built-in patterns are matched from their literal prefix (linear
    // time on hostile pages); a replaced one as a whole.
    std::shared_ptr<const PrefixAnchoredPattern> anchored;
    QRegularExpression plain;
};

// The count rules of every engine, compiled. The built-in set is what the
// window always uses; the command line may replace engines' rules.
class CountRules : public RuleSet<CountRules, Engine, CompiledCountRule, kEngineCount> {
public:
    static CountRule builtInRule(Engine engine);
    static CompiledCountRule builtInEntry(Engine engine);

    // Replaces an engine's rule; refuses a pattern that does not compile or
    // has no such group ("count.pattern", "count.group") and an empty marker
    // ("empty", "refusal"): the fields of the engine's service entry.
    bool replace(Engine engine, const CountRule &rule, RuleFault *fault);

    // The value a result page gives, with its cause: the count with the
    // separators deleted, "0" for the empty-result page, for a refusal page
    // "频" (Google, Sogou) or "X" (the others, whose windows never said 频),
    // "X" for anything else (a failed request's status digits included).
    Scraped scrape(Engine engine, const QString &html) const;
};

// The value of the engine's result page under the built-in rules.
Scraped scrapeCount(Engine engine, const QString &html);

} // namespace yz
