#include "parsers/PrefixAnchoredPattern.h"

namespace yz {

PrefixAnchoredPattern::PrefixAnchoredPattern(const QString &prefix, const QString &pattern)
    : m_prefix(prefix, kPageOptions)
    , m_pattern(pattern, kPageOptions)
{
    m_prefix.optimize();
    m_pattern.optimize();
}

QRegularExpressionMatch PrefixAnchoredPattern::match(const QString &text) const
{
    const QRegularExpressionMatch start = m_prefix.match(text);
    if (!start.hasMatch())
        return start;
    return m_pattern.match(text, start.capturedStart(), QRegularExpression::NormalMatch,
                           QRegularExpression::AnchorAtOffsetMatchOption);
}

} // namespace yz
