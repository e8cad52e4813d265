#pragma once

#include "cli/DomainRun.h"
#include "net/PrintableText.h"
#include "results/CsvText.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstdio>

namespace yz::cli {

// Writes a text, as UTF-8, or bytes as they are.
void writeText(std::FILE *stream, const QString &text);
void writeBytes(std::FILE *stream, const QByteArray &bytes);

// Terminal columns a text takes: two for East Asian wide and full-width
// characters, none for combining marks, one for the rest.
int displayWidth(QStringView text);

using yz::printable;

// The window's view of one domain: a heading line, the grids of the groups
// that ran with their columns aligned, the domain-information line.
QString plainReport(const DomainResult &result);

// One JSON object on one line, ending in a line break: the domain, every
// value cell keyed by the grids' headings, the domain information and the
// request counts.
QByteArray jsonReport(const DomainResult &result, bool detail = false);

// CSV, one line per domain and one column per cell (with `detail`, each cell
// followed by its status: "ok", "none", "refused", "unrecognised",
// "failed 404", ...): the header line (with
// the UTF-8 byte-order mark in front) and a domain's line.
QByteArray csvHeader(const DomainResult &result, bool detail = false);
QByteArray csvRow(const DomainResult &result, bool detail = false);

} // namespace yz::cli
