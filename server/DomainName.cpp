#include "server/DomainName.h"

#include <QRegularExpression>
#include <QUrl>

namespace yz::server {
namespace {

bool isLabel(QStringView label)
{
    if (label.isEmpty() || label.size() > 63 || label.front() == u'-' || label.back() == u'-')
        return false;
    for (const QChar c : label) {
        const char16_t u = c.unicode();
        if (!((u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9') || u == u'-'))
            return false;
    }
    return true;
}

} // namespace

QString hostKey(const QString &typed)
{
    QString text = typed.trimmed().toLower();
    for (const QLatin1String scheme : {QLatin1String("http://"), QLatin1String("https://")}) {
        if (text.startsWith(scheme)) {
            text = text.mid(scheme.size());
            break;
        }
    }
    static const QRegularExpression kEnd(QStringLiteral("[/?#:]"));
    const qsizetype end = text.indexOf(kEnd);
    if (end >= 0)
        text.truncate(end);
    if (text.endsWith(u'.'))
        text.chop(1);
    if (text.isEmpty() || text.size() > 253)
        return {};
    bool ascii = true;
    for (const QChar c : std::as_const(text))
        ascii = ascii && c.unicode() < 0x80;
    // Only a name with other characters needs its "xn--" form.
    const QString ace = ascii ? text : QString::fromLatin1(QUrl::toAce(text)).toLower();
    if (ace.isEmpty() || ace.size() > 253)
        return {};
    const QStringList labels = ace.split(u'.');
    if (labels.size() < 2)
        return {};
    for (const QString &label : labels) {
        if (!isLabel(label))
            return {};
    }
    // A name of digits alone at the end is an address, not a host name.
    bool digits = true;
    for (const QChar c : labels.last())
        digits = digits && c.isDigit();
    return digits ? QString() : ace;
}

QStringList rankLookupNames(const QString &host)
{
    QStringList names;
    QStringList labels = host.split(u'.');
    while (labels.size() >= 2) {
        names.append(labels.join(u'.'));
        labels.removeFirst();
    }
    return names;
}

QString displayHost(const QString &host)
{
    return QUrl::fromAce(host.toLatin1());
}

} // namespace yz::server
