// Scraping speed: every result scraper over 2 MB and 8 MB pages, with its
// marker late in the page, with nothing matching, and adversarially (the text
// before the lazy group every 200 characters, the text after it never).
// Reports MB/s and the ratio of the time to a plain substring search for the
// scraper's first marker over the same text, and the slowest scraper's time
// on each 8 MB page.
#include "bench/Timing.h"
#include "net/spyHTTP.h"
#include "parsers/CountParsers.h"
#include "parsers/DomainAgeParsers.h"
#include "parsers/RankParsers.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

struct Scraper {
    const char *handlers;
    std::function<QString(const QString &)> run;
    QString marker; // first marker, for the substring baseline
    QString late; // a matching stretch put at the end of the page
    QString adversarial; // repeated every 200 characters, never completed
};

QString filler(qsizetype size, const QString &every = QString())
{
    const QString unit =
            QStringLiteral("<tr><td class=\"r\"><a href=\"/l?q=12345\">result 678, total 9,012</a></td></tr>\n");
    QString text;
    text.reserve(size + 256);
    while (text.size() < size) {
        if (!every.isEmpty())
            text += every;
        do
            text += unit.at(text.size() % unit.size());
        while (text.size() % 200 != 0);
    }
    text.truncate(size);
    return text;
}

} // namespace

int main(int argc, char *argv[])
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QCoreApplication app(argc, argv);
    using yz::Engine;
    const QString domain = QStringLiteral("example.com");
    const std::vector<Scraper> scrapers = {
            {"bd1-bd5", [](const QString &h) { return yz::scrapeCount(Engine::Baidu, h).value; },
             QStringLiteral("找到相关网页"), QStringLiteral("找到相关网页约1,230篇"), QStringLiteral("找到相关网页")},
            {"gg1-gg5", [](const QString &h) { return yz::scrapeCount(Engine::Google, h).value; },
             QStringLiteral(" <b>"), QStringLiteral("约 <b>12,300</b> 条"), QStringLiteral("约 <b>1")},
            {"yh1-yh2", [](const QString &h) { return yz::scrapeCount(Engine::Yahoo, h).value; },
             QStringLiteral("共 <strong>"), QStringLiteral("共 <strong>9,876</strong>"), QStringLiteral("共 <strong>")},
            {"sg1-sg2", [](const QString &h) { return yz::scrapeCount(Engine::Sogou, h).value; },
             QStringLiteral("<!--resultbarnum:"), QStringLiteral("<!--resultbarnum:5,678-->"),
             QStringLiteral("<!--resultbarnum:")},
            {"yd1-yd2", [](const QString &h) { return yz::scrapeCount(Engine::Youdao, h).value; }, QStringLiteral("共"),
             QStringLiteral("共约25万条"), QStringLiteral("共")},
            {"ss1", [](const QString &h) { return yz::scrapeCount(Engine::Soso, h).value; }, QStringLiteral("搜索到约"),
             QStringLiteral("搜索到约3,456项结果"), QStringLiteral("搜索到约")},
            {"bdkz", [domain](const QString &h) { return yz::scrapeSnapshotDate(h, domain).value; },
             QStringLiteral("example.com"), QStringLiteral("example.com/ 15K 2010-3-9"),
             QStringLiteral("example.com/    12")},
            {"pr", [](const QString &h) { return yz::scrapePageRank(h).value; }, QStringLiteral("rank_"),
             QStringLiteral("Rank_1:1:6"), QStringLiteral("rank_1:1:")},
            {"ale", [](const QString &h) { return yz::scrapeAlexaRank(h).value; }, QStringLiteral("<div class=\""),
             QStringLiteral("<div class=\"d\"><img src=\"/u.gif\">1,234</a>"),
             QStringLiteral("<div class=\"d\"><img src=")},
            {"sgr", [](const QString &h) { return yz::scrapeSogouRank(h).value; }, QStringLiteral("/100"),
             QStringLiteral("SogouRank:56/100"), QStringLiteral(":5600")},
            {"birthdayDomain", [](const QString &h) { return yz::scrapeWhoisDates(h).value; }, QStringLiteral("regist"),
             QStringLiteral("Registration Date: 2003-03-17\nExpiration Date: 2012-03-17"),
             QStringLiteral("Registered on the day ")},
            {"birthdaySite", [](const QString &h) { return yz::scrapeFirstArchiveDate(h).value; }, QStringLiteral("<a"),
             QStringLiteral("<a href=\"/web/20040305/x\">Mar 05, 2004</a>"), QStringLiteral("<a x>mar 05, 200")},
            {"charset test", [](const QString &h) { return yz::declaresUtf8(h) ? QStringLiteral("1") : QString(); },
             QStringLiteral("<meta"), QStringLiteral("<meta content=\"charset=utf-8\">"), QStringLiteral("<meta ")},
    };

    std::printf("%-15s %-5s %-12s %10s %10s %12s\n", "handler", "MB", "page", "ms", "MB/s", "vs substring");
    for (const qsizetype mb : {2, 8}) {
        const qsizetype size = mb * 1024 * 1024;
        double slowest = 0;
        const char *slowestName = "";
        for (const Scraper &s : scrapers) {
            const QString plain = filler(size);
            const QString late = plain.left(size - s.late.size()) + s.late;
            const QString hostile = filler(size, s.adversarial);
            const std::pair<const char *, const QString *> pages[] = {{"marker late", &late},
                                                                      {"no match", &plain},
                                                                      {"adversarial", &hostile}};
            for (const auto &[label, text] : pages) {
                volatile qsizetype sink = 0;
                const double t = yzbench::bestSeconds([&] { sink = sink + s.run(*text).size(); }, 3);
                // The baseline scans the whole page: the marker with a byte no page holds.
                const QString absent = s.marker + QChar(0x1);
                const double base = yzbench::bestSeconds([&] { sink = sink + QStringView(*text).indexOf(absent); }, 3);
                std::printf("%-15s %-5lld %-12s %10.2f %10.0f %12.1f\n", s.handlers, static_cast<long long>(mb), label,
                            t * 1e3, mb / t, t / std::max(base, 1e-9));
                if (mb == 8 && t > slowest) {
                    slowest = t;
                    slowestName = s.handlers;
                }
            }
        }
        if (mb == 8)
            std::printf("slowest scraper on an 8 MB page: %s, %.1f ms (target < 50 ms)\n", slowestName, slowest * 1e3);
    }
    return 0;
}
