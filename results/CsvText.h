#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace yz {

// One CSV line of fields, ending in CR LF: each quoted when it holds a
// separator, a quote or a line break, a value a spreadsheet would take for a
// formula with a leading apostrophe, so that a hostile page cannot plant
// one. Every CSV the programs write goes through it.
QByteArray csvLine(const QStringList &fields);
// The byte-order mark in front of a CSV lets a spreadsheet on a Chinese system read UTF-8.
inline constexpr char kCsvByteOrderMark[] = "\xEF\xBB\xBF";

// The headings of the domain-information texts.
inline const QString kWhoisHeading = QStringLiteral("域名信息");
inline const QString kArchiveHeading = QStringLiteral("首次存档");
// A metric's heading by its stored key ("tb1/收录/Baidu" -> "收录/Baidu",
// "dminfo" -> "域名信息"), as the run's CSV names its column.
QString metricHeading(const QString &storedKey);

} // namespace yz
