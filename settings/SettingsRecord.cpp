#include "settings/SettingsRecord.h"

#include "settings/DefaultDomain.h"

namespace yz {
namespace {

const QString kDefaultFlags = QStringLiteral("10000");

} // namespace

SettingsRecord SettingsRecord::defaults()
{
    return {kDefaultFlags, kDefaultDomain, kDefaultDomain, QString()};
}

SettingsRecord SettingsRecord::parse(const QString &text)
{
    QString line = text;
    while (line.endsWith(u'\n') || line.endsWith(u'\r'))
        line.chop(1);
    const QStringList fields = line.split(u'|');
    SettingsRecord record = defaults();
    // An empty file carries no flags at all: keep the default ones.
    QString flags = fields.value(0);
    if (flags.size() < kDefaultFlags.size())
        flags += kDefaultFlags.mid(flags.size());
    record.flags = flags;
    if (fields.size() > 1)
        record.lastdm = fields[1];
    if (fields.size() > 2)
        record.dms = fields[2];
    if (fields.size() > 3)
        record.tjStr = fields[3];
    return record;
}

QString SettingsRecord::serialize() const
{
    return flags + u'|' + lastdm + u'|' + dms + u'|' + tjStr + QStringLiteral("\r\n");
}

QString SettingsRecord::flag(int k) const
{
    return k >= 1 && k <= flags.size() ? flags.mid(k - 1, 1) : QString();
}

int SettingsRecord::trendFlag() const
{
    const QString f = flag(4);
    return !f.isEmpty() && f.at(0) >= u'0' && f.at(0) <= u'9' ? f.at(0).unicode() - u'0' : 0;
}

QStringList SettingsRecord::domainList() const
{
    return dms.isEmpty() ? QStringList() : dms.split(u',');
}

QString SettingsRecord::buildFlags(int common, int rank, int recent, int trend, const QString &hasNew)
{
    return QString::number(common) + QString::number(rank) + QString::number(recent) + QString::number(trend) + hasNew;
}

} // namespace yz
