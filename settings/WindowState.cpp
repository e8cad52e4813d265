#include "settings/WindowState.h"

namespace yz {

WindowState WindowState::fromRecord(const SettingsRecord &record)
{
    WindowState state;
    state.hasNew = record.flagSet(5);
    state.lastdm = record.lastdm;
    state.dms = record.dms;
    state.dms_arr = record.domainList();
    state.tjStr = record.tjStr;
    if (record.hasAccount())
        state.tjType = statisticsProvider(record.accountParts().at(0));
    return state;
}

SettingsRecord WindowState::toRecord(const StoredBoxes &boxes) const
{
    SettingsRecord record;
    record.flags = SettingsRecord::buildFlags(boxes.common, boxes.rank, boxes.recent, boxes.trend,
                                              hasNew ? QStringLiteral("1") : QStringLiteral("0"));
    record.lastdm = lastdm;
    record.dms = dms;
    record.tjStr = tjStr;
    return record;
}

StoredBoxes WindowState::boxesOf(const SettingsRecord &record)
{
    // The trend box is ticked by the value 1 alone; the others by the text "1".
    return {record.flagSet(1), record.flagSet(2), record.flagSet(3), record.trendFlag() == 1};
}

} // namespace yz
