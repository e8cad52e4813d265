#include "results/CsvText.h"

#include "query/PressRecord.h"

namespace yz {
namespace {

QString csvField(QString text)
{
    const bool formula = !text.isEmpty()
            && (text[0] == u'=' || text[0] == u'+' || text[0] == u'@'
                || (text[0] == u'-' && (text.size() == 1 || !text[1].isDigit())));
    if (formula)
        text.prepend(u'\'');
    if (text.contains(u',') || text.contains(u'"') || text.contains(u'\n') || text.contains(u'\r'))
        text = u'"' + text.replace(QStringLiteral("\""), QStringLiteral("\"\"")) + u'"';
    return text;
}

} // namespace

QByteArray csvLine(const QStringList &fields)
{
    QStringList quoted;
    for (const QString &f : fields)
        quoted.append(csvField(f));
    return quoted.join(u',').toUtf8() + "\r\n";
}

QString metricHeading(const QString &storedKey)
{
    if (storedKey == kWhoisKey)
        return kWhoisHeading;
    if (storedKey == kArchiveKey)
        return kArchiveHeading;
    return storedKey.section(u'/', 1); // the grid's name goes: the run's CSV names cells alone
}

} // namespace yz
