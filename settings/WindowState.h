#pragma once

#include "services/SiteStatistics.h"
#include "settings/SettingsRecord.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace yz {

// The ticked state of the four group boxes the record stores.
struct StoredBoxes {
    bool common = false;
    bool rank = false;
    bool recent = false;
    bool trend = false;
};

// The main window's variables: the state of a run that outlives a press.
// Most of it comes from the settings record at start-up and goes back into
// it at shut-down.
struct WindowState {
    bool hasNew = false; // a newer version is known: querying stays off
    QString lastdm; // the domain box's text as stored
    QString dms; // the frequent domains joined by ","
    QStringList dms_arr; // the frequent domains, empty elements kept
    QString finalDomain; // the root domain of the last successful test
    QString tjStr; // the statistics account "type,ID,password", or empty
    std::optional<StatisticsProvider> tjType; // the provider of the last login; none for an unknown type
    QString tjURL; // the statistics login address, opened by a click on the line
    QStringList newsLinkArr; // the news items' addresses, by label

    // The state a stored record gives; what the record does not hold stays empty.
    static WindowState fromRecord(const SettingsRecord &record);
    // The record that stores this state with the boxes' values.
    SettingsRecord toRecord(const StoredBoxes &boxes) const;
    // The boxes a record stores.
    static StoredBoxes boxesOf(const SettingsRecord &record);
};

} // namespace yz
