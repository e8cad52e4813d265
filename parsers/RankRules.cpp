#include "parsers/RankRules.h"

#include "parsers/PrefixAnchoredPattern.h"

namespace yz {
namespace {

struct BuiltInRank {
    const char16_t *pattern;
    const char16_t *removal;
};

// In RankValue order.
constexpr BuiltInRank kBuiltIn[] = {
        {u"rank_\\d:\\d:(\\d{1,2})", u""},
        {u"<div class=\"[^\"]*\"><img src=[^>]+>([\\d, ]+?)<\\/a>", u","},
        {u":(\\d+)\\/100", u""},
        {u"{domain}\\/[\\s\\t ]+\\d+K[\\s\\t ]+(\\d{4}\\-\\d{1,2}\\-\\d{1,2})", u""},
};
static_assert(std::size(kBuiltIn) == kRankValueCount);

} // namespace

CompiledRankRule RankRules::builtInEntry(RankValue value)
{
    CompiledRankRule c{builtInRule(value), {}};
    c.pattern = QRegularExpression(c.rule.pattern, kPageOptions);
    c.pattern.optimize();
    return c;
}

RankRule RankRules::builtInRule(RankValue value)
{
    const BuiltInRank &b = kBuiltIn[size_t(value)];
    return {QString::fromUtf16(b.pattern), 1, QString::fromUtf16(b.removal)};
}

bool RankRules::replace(RankValue value, const RankRule &rule, RuleFault *fault)
{
    std::optional<QRegularExpression> re = compilePagePattern(rule.pattern, rule.group, fault);
    if (!re)
        return false;
    entry(value) = {rule, *re};
    return true;
}

RuleMatch RankRules::read(RankValue value, const QString &html, const QString &domain) const
{
    const CompiledRankRule &c = entry(value);
    // A pattern naming the domain is made for each page, the domain's text
    // escaped so that it is matched literally.
    const QRegularExpressionMatch match = c.rule.pattern.contains(QStringView(kDomainInPattern))
            ? QRegularExpression(withDomain(c.rule.pattern, domain), kPageOptions).match(html)
            : c.pattern.match(html);
    if (!match.hasMatch())
        return {std::nullopt, !match.isValid()};
    QString text = match.captured(c.rule.group);
    if (!c.rule.removal.isEmpty())
        text.remove(c.rule.removal, Qt::CaseSensitive);
    return {text, false};
}

} // namespace yz
