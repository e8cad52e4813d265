#pragma once

#include "query/CellStatus.h"
#include "query/ResultSheet.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>

namespace yz {

// What a value shows while its answer is awaited.
inline const QString kLoadingText = QStringLiteral("loading");

// Which groups a press runs.
struct PressGroups {
    bool common = false; // tb1
    bool rank = false; // tb2
    bool recent = false; // tb3
    bool info = false; // whois and archive
    bool trend = false; // trend picture

    // Whether the grid's group ran.
    bool ranGrid(Grid grid) const;
    // "common,rank,recent,info": the groups that fill a value, as stored.
    QString names() const;
    static PressGroups fromNames(const QString &names);
};

// The three texts of the domain-information line: the whois dates, the
// caption before the archive date ("建站于" once it is known), the date.
enum class InfoText { WhoisDates, ArchiveCaption, ArchiveDate };
inline constexpr int kInfoTextCount = 3;

// A value cell of the grids, named by its headings: "收录/Baidu" in a grid of
// several value rows, the column heading alone ("PR") otherwise.
struct GridCell {
    Grid grid;
    QString name;
    QString value;
    CellStatus status;
};

// A cell the press measured, under the key the results database knows it
// by: "tb1/收录/Baidu", "tb2/PR", "dminfo" (whois dates), "dminfo3" (first
// archive date).
struct RecordedCell {
    QString key;
    QString value;
    CellStatus status;
};

// Everything one press (the window) or one domain's run (the command line)
// found, taken once its last request has ended. Every front end and the
// results database read this one record: a cell that was still waiting at
// that moment has been settled here, never left as "loading".
struct PressRecord {
    QString domain; // the domain text the press asked about
    PressGroups groups;
    QDateTime at; // when the press ended (UTC)
    std::array<QList<QStringList>, kGridCount> grids; // [grid][row][col], headings included
    std::array<QList<QList<CellStatus>>, kGridCount> statuses; // why each cell holds its value
    std::array<QString, kInfoTextCount> info;
    std::array<CellStatus, kInfoTextCount> infoStatuses; // why the whois and archive texts read as they do

    // Every value cell of the three grids, grid by grid, row by row; those
    // of groups that did not run are empty.
    QList<GridCell> gridCells() const;
    // The cells the press measured: the value cells of the grids whose group
    // ran, then the whois and archive dates when the domain information ran.
    QList<RecordedCell> measuredCells() const;
};

// The name of a grid cell by its headings (see GridCell) and the key the
// results database knows it by ("tb1/" in front).
QString gridCellName(int valueRows, const QString &rowHeading, const QString &columnHeading);
QString gridCellKey(Grid grid, const QString &name);
inline const QString kWhoisKey = QStringLiteral("dminfo");
inline const QString kArchiveKey = QStringLiteral("dminfo3");

// The value a cell still waiting when its press ends is settled with, and the reason given.
inline const QString kUnansweredValue = QStringLiteral("X");
inline const QString kUnansweredReason = QStringLiteral("没有得到应答");

} // namespace yz
