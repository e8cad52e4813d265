#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace yz::server {

// One row of a ranks file, in either form, told apart line by line: an open
// web-graph host-ranks file, tab-separated "harmonicc_pos harmonicc_val
// pr_pos pr_val host_rev [n_hosts]" with the name in reversed notation
// ("com.example.www"), or a top-sites list's "rank,domain" CSV
// ("1,example.com").
struct RankRow {
    qint64 position = 0;
    QByteArray name; // in normal notation, lower-case: "www.example.com"
};

enum class RankLine { Row, Skip, Bad };

// Reads one line (without its line end). Header and comment lines ("#...",
// "rank,domain") and blank lines are skipped; anything else that is not a row is Bad, with
// the reason in `error`.
RankLine parseRankLine(QByteArrayView line, RankRow *row, QString *error);

} // namespace yz::server
