#pragma once

#include <QSqlDatabase>
#include <QString>

namespace yz {

// The layout of the results database this program writes. Version 1 was one
// table of cells, `results(run_at, domain, cell, value, status, http)`, a run
// told apart by its second; version 2 keeps runs with an id, their source and
// the groups that ran, and their cells (see ResultStore).
inline constexpr int kResultsSchemaVersion = 2;

// Brings an open database to this program's layout: makes it when empty,
// migrates an earlier layout in place (in one transaction: a failure leaves
// the file as it was), and refuses one written by a newer program.
bool prepareResultsSchema(QSqlDatabase &db, QString *error);

} // namespace yz
