#include "results/ValueComparison.h"

#include <QLocale>
#include <QRegularExpression>

namespace yz {
namespace {

bool isSeparatorOrBlank(QChar c)
{
    return c == u',' || c == u'，' || c == u'\'' || c.isSpace() || c == QChar(0x3000);
}

} // namespace

Measured measuredBy(const QString &status)
{
    if (status == u"ok" || status == u"none")
        return Measured::Value;
    if (status == u"refused" || status == u"unrecognised" || status == u"failed" || status == u"waiting")
        return Measured::Failure;
    return Measured::Nothing;
}

std::optional<QString> countDigits(const QString &text)
{
    QString digits;
    for (const QChar c : text) {
        if (c >= u'0' && c <= u'9')
            digits += c;
        else if (!isSeparatorOrBlank(c))
            return std::nullopt;
    }
    if (digits.isEmpty())
        return std::nullopt;
    qsizetype zeros = 0;
    while (zeros + 1 < digits.size() && digits[zeros] == u'0')
        ++zeros;
    return digits.mid(zeros);
}

QList<QDate> datesIn(const QString &text)
{
    static const QRegularExpression date(QStringLiteral("(\\d{4})\\s*[-/.年]\\s*(\\d{1,2})\\s*[-/.月]\\s*(\\d{1,2})"));
    QList<QDate> dates;
    for (auto it = date.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QDate day(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        if (!day.isValid())
            return {};
        dates.append(day);
    }
    return dates;
}

bool sameValue(const QString &a, const QString &b)
{
    const std::optional<QString> countA = countDigits(a);
    const std::optional<QString> countB = countDigits(b);
    if (countA || countB)
        return countA == countB;
    const QList<QDate> datesA = datesIn(a);
    if (!datesA.isEmpty())
        return datesA == datesIn(b);
    return a.trimmed() == b.trimmed();
}

QString percentChange(const QString &before, const QString &after)
{
    const std::optional<QString> old = countDigits(before);
    const std::optional<QString> now = countDigits(after);
    if (!old || !now || *old == u"0")
        return {};
    const double from = old->toDouble();
    const double change = (now->toDouble() - from) / from * 100.0;
    QLocale c(QLocale::C);
    c.setNumberOptions(QLocale::OmitGroupSeparator);
    QString text = c.toString(change, 'f', std::abs(change) >= 10 ? 0 : 1);
    if (text.endsWith(QStringLiteral(".0")))
        text.chop(2);
    if (text == u"-0")
        text = QStringLiteral("0");
    return (change > 0 ? QStringLiteral("+") : QString()) + text + u'%';
}

} // namespace yz
