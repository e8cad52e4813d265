#pragma once

#include "parsers/CountParsers.h"
#include "parsers/DateRules.h"
#include "parsers/RankRules.h"
#include "parsers/StatisticsRules.h"
#include "query/ResultSheet.h"

#include <QByteArray>
#include <QHash>
#include <QString>

namespace yz {

// What a rules file changes: the engines' count rules, the rank rules, the
// whois and archive dates, the statistics line's numbers and, by handler
// name, the address templates of the query table's rows.
struct ScrapeRules {
    CountRules counts;
    RankRules ranks;
    DateRules dates;
    StatisticsRules statistics;
    QHash<QString, QString> addresses;
    // By service, empty where the built-in stays: the heading of its
    // column, where it is asked (an address or another service's name, see
    // ServiceHosts::setRulesBases) and its pages' charset ("auto" detects).
    ServiceLabels labels;
    std::array<QString, kServiceCount> bases;
    std::array<QString, kServiceCount> charsets;

    static const ScrapeRules &builtIn();
};

// Reads a rules file's JSON over the built-in rules. The whole file is
// checked first; on the first mistake nothing is changed and `error` names
// the entry ("baidu.count.pattern: …").
//
// The file is an object keyed by service name (as in the endpoints file):
//   "baidu": {"count": {"pattern": "…", "group": 2, "remove": ","},
//             "empty": "…", "refusal": ["…"],
//             "addresses": {"bd1": "{base}/s?wd=site:{domain}", …}},
//   "alexa": {"rank": {"pattern": "…", "group": 1, "remove": ","}},
//   "whois": {"registered": {"pattern": "…", "order": "auto"}, "expires": …},
//   "cnzz": {"numbers": {"pattern": "…", "todayIp": [3, 1], …}, "wrongPassword": "…"},
//   "yahoo": {"label": "必应", "base": "https://cn.bing.com", "charset": "utf-8", …}
// ("rank" for alexa, sogou's SogouRank and vendor's PageRank, "snapshot" for
// baidu's snapshot date, its pattern naming the domain as {domain};
// "firstDate" for archive; "numbers" and "wrongPassword" for cnzz and 51la).
// "label" renames the service's column heading (the services that head one),
// "base" moves the service to another address ("http(s)://host[:port]") or
// to another service's ("vendor"), "charset" decodes its pages with another
// charset (utf-8, gbk, gb2312, gb18030 or auto).
// Every entry and every field is optional; what is left out keeps its value.
bool applyRules(const QByteArray &json, ScrapeRules &rules, QString *error);
bool applyRulesFile(const QString &path, ScrapeRules &rules, QString *error);

// The built-in rules in that format, every entry written out.
QByteArray builtInRulesJson();

} // namespace yz
