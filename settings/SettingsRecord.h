#pragma once

#include <QString>
#include <QStringList>

namespace yz {

// The one record of the settings file: four fields joined by "|".
//   0: five flag characters: the three grid groups, the trend picture, and
//      whether a newer version is known ("0" or "1" each);
//   1: the domain box's text; 2: the frequent domains joined by ",";
//   3: the statistics account "type,ID,password", or empty.
struct SettingsRecord {
    QString flags;
    QString lastdm;
    QString dms;
    QString tjStr;

    // "10000|" + default domain + "|" + default domain + "|".
    static SettingsRecord defaults();

    // Reads a record's text. Whatever a damaged or foreign record lacks (fields,
    // flag characters) is taken from the default record; nothing fails.
    static SettingsRecord parse(const QString &text);

    // The record's line, CR LF included.
    QString serialize() const;

    // Flag character k, counted from 1; the empty text when missing.
    QString flag(int k) const;
    bool flagSet(int k) const { return flag(k) == u"1"; }
    // Flag 4 as an integer (the trend picture box's value); 0 unless a digit.
    int trendFlag() const;

    // Field 2 split at ","; an empty field gives an empty list.
    QStringList domainList() const;

    // Field 3 split at ","; an account only when there are exactly three parts.
    bool hasAccount() const { return tjStr.split(u',').size() == 3; }
    QStringList accountParts() const { return hasAccount() ? tjStr.split(u',') : QStringList(); }

    // Field 0 from the four box values and the newer-version flag.
    static QString buildFlags(int common, int rank, int recent, int trend, const QString &hasNew);

    bool operator==(const SettingsRecord &) const = default;
};

} // namespace yz
