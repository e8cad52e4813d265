#include "parsers/RuleSet.h"

#include "parsers/PrefixAnchoredPattern.h"

namespace yz {

QString withDomain(QString pattern, const QString &domain)
{
    return pattern.replace(QString::fromUtf16(kDomainInPattern), QRegularExpression::escape(domain));
}

std::optional<QRegularExpression> compilePagePattern(const QString &pattern, RuleFault *fault)
{
    return compilePattern(withDomain(pattern, QStringLiteral("example.com")), fault);
}

std::optional<QRegularExpression> compilePattern(const QString &pattern, RuleFault *fault)
{
    QRegularExpression re(pattern, kPageOptions);
    if (!re.isValid()) {
        *fault = {
                QStringLiteral("pattern"),
                QStringLiteral("正则表达式无法编译（%1，位置 %2）").arg(re.errorString()).arg(re.patternErrorOffset())};
        return std::nullopt;
    }
    re.optimize();
    return re;
}

bool hasGroup(const QRegularExpression &pattern, int group, RuleFault *fault)
{
    if (group >= 1 && group <= pattern.captureCount())
        return true;
    *fault = {QStringLiteral("group"),
              QStringLiteral("没有第 %1 个捕获组（共 %2 个）").arg(group).arg(pattern.captureCount())};
    return false;
}

std::optional<QRegularExpression> compilePagePattern(const QString &pattern, int group, RuleFault *fault)
{
    std::optional<QRegularExpression> re = compilePagePattern(pattern, fault);
    if (re && !hasGroup(*re, group, fault))
        return std::nullopt;
    return re;
}

QString patternGaveUpReason()
{
    return QStringLiteral("模式在这个页面上超出了匹配的限制");
}

} // namespace yz
