#pragma once

#include <QRegularExpression>

namespace yz {

// A page pattern of the shape: prefix, then a lazy "([\s\S]+?)" group, then a
// suffix, matched case-insensitively over many lines.
//
// PCRE2 tries such a pattern at every place the prefix occurs and scans to the
// end of the page from each when the suffix never comes: quadratic time on a
// long page. The leftmost match can only start at the first place the prefix
// matches, and if the pattern fails there no suffix follows that place, so no
// later start can succeed either. One anchored attempt at the first prefix
// therefore gives exactly the pattern's own result, in linear time.
class PrefixAnchoredPattern
{
public:
    PrefixAnchoredPattern(const QString &prefix, const QString &pattern);

    QRegularExpressionMatch match(const QString &text) const;

private:
    QRegularExpression m_prefix;
    QRegularExpression m_pattern;
};

// The page patterns' options: case-insensitive and multi-line.
inline constexpr QRegularExpression::PatternOptions kPageOptions =
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption;

} // namespace yz
