#pragma once

#include <QString>

class QIODevice;

namespace yz::server {

class Database;

struct RanksImportResult {
    bool ok = false;
    bool refused = false; // the input was read but would have lost ranks
    bool badInput = false; // a line of the input is no rank (the error names it)
    qint64 rows = 0; // rows stored
    QString error; // with the line number, when !ok
};

// What an import may do to the table it replaces: by default it refuses to
// leave it empty, or with less than half the rows it had, since that is
// what a missing or cut-off file looks like.
struct RanksImportSafety {
    bool allowEmpty = false;
    bool allowShrink = false;
};

// Replaces the ranks table with the first `top` rows read from `input`, in one
// transaction: on any error or refusal the previous table stays as it was.
RanksImportResult importRanks(QIODevice &input, Database &database, qint64 top, RanksImportSafety safety = {});

} // namespace yz::server
