#include "parsers/PrefixAnchoredPattern.h"

#include <algorithm>

namespace yz {

qsizetype indexOfIgnoringCase(QStringView text, QStringView needle, qsizetype from)
{
    const bool cased = std::any_of(needle.begin(), needle.end(), [](QChar c) {
        return c.toLower() != c || c.toUpper() != c || c.toCaseFolded() != c;
    });
    return text.indexOf(needle, from, cased ? Qt::CaseInsensitive : Qt::CaseSensitive);
}

PrefixAnchoredPattern::PrefixAnchoredPattern(const QString &prefix, const QString &suffixText, const QString &pattern)
    : m_prefix(prefix, kPageOptions)
    , m_suffixText(suffixText)
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
    if (!m_suffixText.isEmpty() && indexOfIgnoringCase(text, m_suffixText, start.capturedEnd()) < 0)
        return m_prefix.match(QString()); // the suffix never follows: no match
    return m_pattern.match(text, start.capturedStart(), QRegularExpression::NormalMatch,
                           QRegularExpression::AnchorAtOffsetMatchOption);
}

QRegularExpression::MatchOptions repeatedMatchOptions(QStringView text)
{
    const char16_t *p = text.utf16();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (!QChar::isSurrogate(p[i]))
            continue;
        if (!QChar::isHighSurrogate(p[i]) || i + 1 == n || !QChar::isLowSurrogate(p[i + 1]))
            return QRegularExpression::NoMatchOption;
        ++i;
    }
    return QRegularExpression::DontCheckSubjectStringMatchOption;
}

} // namespace yz
