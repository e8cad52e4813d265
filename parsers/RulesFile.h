#pragma once

#include "parsers/CountParsers.h"

#include <QByteArray>
#include <QHash>
#include <QString>

namespace yz {

// What a rules file changes: the engines' count rules and, by handler name,
// the address templates of the query table's rows.
struct ScrapeRules {
    CountRules counts;
    QHash<QString, QString> addresses;
};

// Reads a rules file's JSON over the built-in rules. The whole file is
// checked first; on the first mistake nothing is changed and `error` names
// the entry ("baidu.count.pattern: …").
//
// The file is an object keyed by service name (as in the endpoints file):
//   "baidu": {"count": {"pattern": "…", "group": 2, "remove": ","},
//             "empty": "…", "refusal": ["…"],
//             "addresses": {"bd1": "{base}/s?wd=site:{domain}", …}}
// Every entry is optional; what is left out keeps its built-in value.
bool applyRules(const QByteArray &json, ScrapeRules &rules, QString *error);
bool applyRulesFile(const QString &path, ScrapeRules &rules, QString *error);

// The built-in rules in that format, every entry written out.
QByteArray builtInRulesJson();

} // namespace yz
