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

// A pattern with "{domain}" replaced by the escaped domain.
QString withDomain(QString pattern, const QString &domain)
{
    return pattern.replace(QString::fromUtf16(kDomainInPattern), QRegularExpression::escape(domain));
}

} // namespace

std::optional<QRegularExpression> compilePagePattern(const QString &pattern, int group, bool *groupFault,
                                                     QString *error)
{
    // Checked as it will be used: with a domain in place of "{domain}".
    QRegularExpression re(withDomain(pattern, QStringLiteral("example.com")), kPageOptions);
    *groupFault = false;
    if (!re.isValid()) {
        *error = QStringLiteral("正则表达式无法编译（%1，位置 %2）").arg(re.errorString()).arg(re.patternErrorOffset());
        return std::nullopt;
    }
    if (group < 1 || group > re.captureCount()) {
        *groupFault = true;
        *error = QStringLiteral("没有第 %1 个捕获组（共 %2 个）").arg(group).arg(re.captureCount());
        return std::nullopt;
    }
    re.optimize();
    return re;
}

RankRules::RankRules()
{
    for (int v = 0; v < kRankValueCount; ++v) {
        Compiled &c = m_values[size_t(v)];
        c.rule = builtInRule(RankValue(v));
        c.pattern = QRegularExpression(c.rule.pattern, kPageOptions);
        c.pattern.optimize();
    }
}

const RankRules &RankRules::builtIn()
{
    static const RankRules rules;
    return rules;
}

RankRule RankRules::builtInRule(RankValue value)
{
    const BuiltInRank &b = kBuiltIn[size_t(value)];
    return {QString::fromUtf16(b.pattern), 1, QString::fromUtf16(b.removal)};
}

bool RankRules::replace(RankValue value, const RankRule &rule, bool *groupFault, QString *error)
{
    std::optional<QRegularExpression> re = compilePagePattern(rule.pattern, rule.group, groupFault, error);
    if (!re)
        return false;
    m_values[size_t(value)] = {rule, *re};
    return true;
}

QString patternGaveUpReason()
{
    return QStringLiteral("模式在这个页面上超出了匹配的限制");
}

RuleMatch RankRules::read(RankValue value, const QString &html, const QString &domain) const
{
    const Compiled &c = m_values[size_t(value)];
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
