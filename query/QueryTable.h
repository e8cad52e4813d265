#pragma once

#include "query/ResultSheet.h"
#include "services/ServiceHosts.h"

#include <QString>
#include <QStringView>

#include <array>
#include <optional>
#include <span>

namespace yz {

// The check-box groups a press of the query button can run.
enum class Group { Common, Rank, Recent, Info, Trend };

// Which domain a row puts into its address.
enum class DomainPart { Typed, Root };

// A cell of a grid, by row and column.
struct CellRef {
    Grid grid;
    int row;
    int col;
};

// What reads a row's answer. Each scraper is registered under its row's
// handler name by walking the table, so a row can only name one that exists.
enum class Scraper {
    BaiduCount,
    GoogleCount,
    YahooCount,
    SogouCount,
    YoudaoCount,
    SosoCount,
    BaiduSnapshot,
    PageRankAddress, // the vendor's answer is the address of the PageRank request
    AlexaRank,
    SogouRank,
    WhoisDates,
    FirstArchiveDate,
    TrendPicture, // bytes, not text: each front end registers its own
};

// The handler of the PageRank request that the PageRankAddress row starts.
inline constexpr char16_t kPageRankHandler[] = u"pr";
// The row the vendor service's collector asks: Baidu's indexed-page count.
inline constexpr char16_t kBaiduCountRow[] = u"bd1";

// One query: the address is the service's base, `before`, the domain, `after`.
// Every query is sent with the method "get" and an empty payload.
struct QueryRow {
    const char16_t *handler;
    Scraper scraper;
    Group group;
    Service service;
    const char16_t *before;
    DomainPart domain;
    const char16_t *after;
    const char16_t *charset; // "gb2312", "utf-8" or empty for detection
    CellRef target; // the cell its result ends in (grid groups only)
};

// A cell that a group fills with a fixed text because no query fills it.
struct FixedCell {
    Group group;
    CellRef cell;
    const char16_t *text;
};

// The grid groups' queries in the order they are started.
std::span<const QueryRow> gridQueryRows();
// The domain-information rows (whois, archive) and the trend picture's row.
std::span<const QueryRow> labelQueryRows();
std::span<const FixedCell> fixedCells();

// The row of a handler name, or nullptr.
const QueryRow *findQueryRow(QStringView handler);
// The grid row whose result ends in the cell, or nullptr.
const QueryRow *findRowForCell(Grid grid, int row, int col);
// The first row read by the scraper (the label and picture rows have one each).
const QueryRow &rowFor(Scraper scraper);
// The cell whose value an answer delivered to `handler` decides, if any: the
// second PageRank request decides the PageRank cell; the first one, and the
// rows that fill labels, decide none.
std::optional<CellRef> cellDecidedBy(QStringView handler);
// Whether a handler's answer is read into a value by a scraper: a grid cell,
// the whois dates or the archive date.
bool rowReadsValue(QStringView handler);
// Every row, grid rows first.
std::array<std::span<const QueryRow>, 2> allQueryRows();

// The address of a row for the given domain text, built without escaping.
QString queryAddress(const QueryRow &row, const ServiceHosts &hosts, const QString &domain);

// The charset label a row's answer is decoded with: the table's, or
// `replaced` when the rules in force give one ("auto": detect, empty label).
QString rowCharsetLabel(const QueryRow &row, const QString &replaced);

// A row's address as a template: "{base}" stands for its service's base
// address, "{domain}" for the domain text.
inline constexpr char16_t kBasePlaceholder[] = u"{base}";
inline constexpr char16_t kDomainPlaceholder[] = u"{domain}";
QString addressTemplate(const QueryRow &row);
// The template filled in one pass, so that a domain text holding "{base}"
// stays as typed.
QString fillAddressTemplate(QStringView pattern, const QString &base, const QString &domain);

} // namespace yz
