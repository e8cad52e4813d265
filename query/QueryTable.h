#pragma once

#include "query/ResultSheet.h"
#include "services/ServiceHosts.h"

#include <QString>
#include <QStringView>

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

// One query: the address is the service's base, `before`, the domain, `after`.
// Every query is sent with the method "get" and an empty payload.
struct QueryRow {
    const char16_t *handler;
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

// The address of a row for the given domain text, built without escaping.
QString queryAddress(const QueryRow &row, const ServiceHosts &hosts, const QString &domain);

} // namespace yz
