#pragma once

#include <QString>

class QIODevice;

namespace yz::server {

class Database;

struct RanksImportResult {
    bool ok = false;
    qint64 rows = 0; // rows stored
    QString error; // with the line number, when !ok
};

// Replaces the ranks table with the first `top` rows read from `input`, in one
// transaction: on any error the previous table stays as it was.
RanksImportResult importRanks(QIODevice &input, Database &database, qint64 top);

} // namespace yz::server
