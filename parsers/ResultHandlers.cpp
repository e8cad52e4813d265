#include "parsers/ResultHandlers.h"

#include "parsers/DomainAgeParsers.h"
#include "parsers/RankParsers.h"
#include "query/QueryEngine.h"

namespace yz {
namespace {

// Writes a handler's value and, beside it, why it is that value.
void write(QueryEngine &engine, const CellRef &cell, const Scraped &scraped, const PageAnswer &answer)
{
    engine.sheet().setValue(cell.grid, cell.col, cell.row, scraped.value);
    engine.sheet().setStatus(cell.grid, cell.col, cell.row, CellStatus::of(answer, scraped));
}

void writeInfo(QueryEngine &engine, InfoText which, const Scraped &scraped, const PageAnswer &answer)
{
    engine.setInfo(which, scraped.value);
    engine.setInfoStatus(which, CellStatus::of(answer, scraped));
}

// A handler that writes what its row's answer reads as into the row's cell.
AnswerHandler cellWriter(QueryEngine &engine, const QString &handler, const CellRef cell, const ScrapeRules &rules)
{
    return [&engine, handler, cell, &rules](const PageAnswer &a) {
        write(engine, cell, scrapeRowAnswer(handler, rules, a, engine.domainText()), a);
    };
}

// The handler that reads one row's answer, or none for the picture row.
AnswerHandler handlerFor(QueryEngine &engine, const QueryRow &row, const ScrapeRules &rules)
{
    const QString handler = QString::fromUtf16(row.handler);
    switch (row.scraper) {
    case Scraper::PageRankAddress:
        return [&engine, cell = row.target](const PageAnswer &a) {
            if (!a.read()) {
                write(engine, cell, Scraped::unrecognised(QStringLiteral("X")), a);
                return;
            }
            // The whole answer is the address of the PageRank request, used as
            // it is. One that cannot be requested leaves the cell waiting.
            if (PageFetcher::requestable(a.text))
                engine.fetcher().urlfetch(a.text, QStringLiteral("get"), QString(), QStringLiteral("gb2312"),
                                          QString::fromUtf16(kPageRankHandler));
        };
    case Scraper::WhoisDates:
        return [&engine, handler, &rules](const PageAnswer &a) {
            writeInfo(engine, InfoText::WhoisDates, scrapeRowAnswer(handler, rules, a, QString()), a);
        };
    case Scraper::FirstArchiveDate:
        return [&engine, handler, &rules](const PageAnswer &a) {
            engine.setInfo(InfoText::ArchiveCaption, QStringLiteral("建站于"));
            writeInfo(engine, InfoText::ArchiveDate, scrapeRowAnswer(handler, rules, a, QString()), a);
        };
    case Scraper::TrendPicture:
        return {};
    case Scraper::BaiduCount:
    case Scraper::GoogleCount:
    case Scraper::YahooCount:
    case Scraper::SogouCount:
    case Scraper::YoudaoCount:
    case Scraper::SosoCount:
    case Scraper::BaiduSnapshot:
    case Scraper::AlexaRank:
    case Scraper::SogouRank:
        return cellWriter(engine, handler, row.target, rules);
    }
    return {};
}

} // namespace

Scraped scrapeRowAnswer(const QString &handler, const ScrapeRules &rules, const PageAnswer &answer,
                        const QString &domain)
{
    // Scrapers read the page text; a failed request's text is its status,
    // which no pattern takes for a value.
    const QString html = answer.html();
    if (handler == QStringView(kPageRankHandler))
        return scrapePageRank(html, rules.ranks);
    const QueryRow *row = findQueryRow(handler);
    if (!row)
        return {};
    if (const std::optional<Engine> engine = countEngine(row->scraper))
        return rules.counts.scrape(*engine, html);
    switch (row->scraper) {
    case Scraper::BaiduSnapshot:
        return scrapeSnapshotDate(html, domain, rules.ranks);
    case Scraper::PageRankAddress:
        return answer.read() ? Scraped::ok(answer.text) : Scraped::unrecognised(QStringLiteral("X"));
    case Scraper::AlexaRank:
        return scrapeAlexaRank(html, rules.ranks);
    case Scraper::SogouRank:
        return scrapeSogouRank(html, rules.ranks);
    case Scraper::WhoisDates:
        return scrapeWhoisDates(html, rules.dates);
    case Scraper::FirstArchiveDate:
        return answer.read() ? scrapeFirstArchiveDate(answer.text, rules.dates)
                             : Scraped::unrecognised(QStringLiteral("Unknown"));
    case Scraper::BaiduCount: // read above, by their engine's count rule
    case Scraper::GoogleCount:
    case Scraper::YahooCount:
    case Scraper::SogouCount:
    case Scraper::YoudaoCount:
    case Scraper::SosoCount:
    case Scraper::TrendPicture: // bytes, read by each front end
        break;
    }
    return {};
}

std::optional<Engine> countEngine(Scraper scraper)
{
    switch (scraper) {
    case Scraper::BaiduCount:
        return Engine::Baidu;
    case Scraper::GoogleCount:
        return Engine::Google;
    case Scraper::YahooCount:
        return Engine::Yahoo;
    case Scraper::SogouCount:
        return Engine::Sogou;
    case Scraper::YoudaoCount:
        return Engine::Youdao;
    case Scraper::SosoCount:
        return Engine::Soso;
    case Scraper::BaiduSnapshot:
    case Scraper::PageRankAddress:
    case Scraper::AlexaRank:
    case Scraper::SogouRank:
    case Scraper::WhoisDates:
    case Scraper::FirstArchiveDate:
    case Scraper::TrendPicture:
        break;
    }
    return std::nullopt;
}

void useRules(QueryEngine &engine, const ScrapeRules &rules)
{
    engine.setAddressTemplates(rules.addresses);
    engine.setCharsets(rules.charsets);
    engine.hosts().setRulesBases(rules.bases);
    engine.sheet().setLabels(rules.labels);
}

void addResultHandlers(QueryEngine &engine, const ScrapeRules &rules)
{
    for (const auto rows : allQueryRows()) {
        for (const QueryRow &row : rows) {
            if (AnswerHandler handler = handlerFor(engine, row, rules))
                engine.handlers().add(QString::fromUtf16(row.handler), std::move(handler));
        }
    }
    const CellRef pageRank = rowFor(Scraper::PageRankAddress).target;
    engine.handlers().add(QString::fromUtf16(kPageRankHandler),
                          cellWriter(engine, QString::fromUtf16(kPageRankHandler), pageRank, rules));
}

} // namespace yz
