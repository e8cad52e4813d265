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
// therefore gives exactly the pattern's own result, in linear time. Before
// that attempt a plain search for the suffix's literal text after the prefix
// settles the common no-match case at substring-search speed.
class PrefixAnchoredPattern {
public:
    // `prefix`: the pattern up to its lazy group, as a pattern; `suffixText`:
    // literal text that every match of what follows the group begins with.
    PrefixAnchoredPattern(const QString &prefix, const QString &suffixText, const QString &pattern);

    QRegularExpressionMatch match(const QString &text) const;

private:
    QRegularExpression m_prefix;
    QString m_suffixText;
    QRegularExpression m_pattern;
};

// Where `needle` first occurs in `text` from `from` on, ignoring case as the
// page patterns do. A needle without cased letters (Chinese text, "-->") is
// searched case-sensitively, which finds the same and is much faster.
qsizetype indexOfIgnoringCase(QStringView text, QStringView needle, qsizetype from = 0);

// Match options for repeated matches over one text. PCRE2 checks the whole
// subject for valid UTF-16 at every match, which makes a loop of matches over
// a long page quadratic; a text found valid once here is matched unchecked.
QRegularExpression::MatchOptions repeatedMatchOptions(QStringView text);

// The page patterns' options: case-insensitive and multi-line.
inline constexpr QRegularExpression::PatternOptions kPageOptions =
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption;

} // namespace yz
