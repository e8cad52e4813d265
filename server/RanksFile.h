#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace yz::server {

// One row of an open web-graph ranks file: tab-separated
// "harmonicc_pos harmonicc_val pr_pos pr_val host_rev [n_hosts]", the name in
// reversed notation ("com.example.www").
struct RankRow {
    qint64 position = 0;
    QByteArray name; // in normal notation, lower-case: "www.example.com"
};

enum class RankLine { Row, Skip, Bad };

// Reads one line (without its line end). Header and comment lines ("#...")
// and blank lines are skipped; anything else that is not a row is Bad, with
// the reason in `error`.
RankLine parseRankLine(QByteArrayView line, RankRow *row, QString *error);

} // namespace yz::server
