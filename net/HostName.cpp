#include "net/HostName.h"

#include <QUrl>

#include <algorithm>

namespace yz {
namespace {

constexpr qsizetype kMaxName = 253;
constexpr qsizetype kMaxLabel = 63;

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The length of a leading "scheme://" (a letter, then letters, digits, "+",
// "." or "-"), or 0.
qsizetype schemeLength(QStringView text)
{
    const qsizetype separator = text.indexOf(u"://");
    if (separator <= 0 || !isAsciiLetter(text.front()))
        return 0;
    for (const QChar c : text.first(separator).sliced(1))
        if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != u'+' && c != u'.' && c != u'-')
            return 0;
    return separator + 3;
}

// The host part of what was typed: after "scheme://" and "user@", before a
// path, query, fragment or port. Scanned by hand: the service finds the host
// of every picture request with it.
QString hostPart(const QString &typed)
{
    QStringView text(typed);
    text = text.sliced(schemeLength(text));
    const auto rest = std::find_if(text.begin(), text.end(),
                                   [](QChar c) { return c == u'/' || c == u'?' || c == u'#' || c == u'\\'; });
    text = text.first(rest - text.begin());
    if (const qsizetype at = text.lastIndexOf(u'@'); at >= 0)
        text = text.sliced(at + 1);
    QString host = text.toString();
    // A port: ":" and digits at the end, or before a line break that ends it.
    if (const qsizetype colon = host.lastIndexOf(u':'); colon >= 0) {
        qsizetype end = colon + 1;
        while (end < host.size() && isAsciiDigit(host[end]))
            ++end;
        if (end == host.size() || (end == host.size() - 1 && host[end] == u'\n'))
            host.remove(colon, end - colon);
    }
    return host;
}

QString labelProblem(const QString &label)
{
    if (label.isEmpty())
        return QStringLiteral("有空的一段（两个点相连，或以点开头）");
    if (label.size() > kMaxLabel)
        return QStringLiteral("一段超过 %1 个字符").arg(kMaxLabel);
    for (const QChar c : label)
        if (!(c.isDigit() || (c >= u'a' && c <= u'z') || c == u'-'))
            return QStringLiteral("含有域名中不能用的字符“%1”").arg(c);
    if (label.startsWith(u'-') || label.endsWith(u'-'))
        return QStringLiteral("一段以连字符开头或结尾");
    return {};
}

} // namespace

std::optional<QString> normalizeHostName(const QString &typed, QString *reason)
{
    QString host = hostPart(typed.trimmed());
    if (host.endsWith(u'.'))
        host.chop(1);
    if (host.isEmpty()) {
        *reason = QStringLiteral("没有主机名");
        return std::nullopt;
    }
    // Only a name with other characters than ASCII needs its ASCII (xn--)
    // form, as a browser sends it; the conversion also folds its case.
    const bool ascii = std::all_of(host.cbegin(), host.cend(), [](QChar c) { return c.unicode() < 0x80; });
    const QString name =
            ascii ? host.toLower() : QString::fromLatin1(QUrl::toAce(host, QUrl::AceTransitionalProcessing)).toLower();
    if (name.isEmpty()) {
        *reason = QStringLiteral("不是有效的国际化域名");
        return std::nullopt;
    }
    if (name.size() > kMaxName) {
        *reason = QStringLiteral("超过 %1 个字符").arg(kMaxName);
        return std::nullopt;
    }
    const QStringList labels = name.split(u'.');
    for (const QString &label : labels) {
        if (const QString problem = labelProblem(label); !problem.isEmpty()) {
            *reason = problem;
            return std::nullopt;
        }
    }
    if (labels.size() < 2) {
        *reason = QStringLiteral("缺少后缀（如 .com）");
        return std::nullopt;
    }
    return name;
}

} // namespace yz
