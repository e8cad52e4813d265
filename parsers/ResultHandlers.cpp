#include "parsers/ResultHandlers.h"

#include "parsers/DomainAgeParsers.h"
#include "parsers/RankParsers.h"
#include "query/QueryEngine.h"

namespace yz {
namespace {

// Writes a handler's value and, beside it, why it is that value.
void write(QueryEngine &engine, const CellRef &cell, const QString &value, const PageAnswer &answer)
{
    engine.sheet().setValue(cell.grid, cell.col, cell.row, value);
    engine.sheet().setStatus(cell.grid, cell.col, cell.row, CellStatus::of(answer, value));
}

// A handler that writes the scraped value into the row's cell. Scrapers read
// the page text; a failed request's text is its status, which no pattern
// takes for a value.
AnswerHandler cellWriter(QueryEngine &engine, const CellRef cell, QString (*scrape)(const QString &))
{
    return [&engine, cell, scrape](const PageAnswer &a) { write(engine, cell, scrape(a.html()), a); };
}

AnswerHandler countWriter(QueryEngine &engine, const CellRef cell, const CountRules &counts, Engine which)
{
    return [&engine, cell, &counts, which](const PageAnswer &a) {
        write(engine, cell, counts.scrape(which, a.html()), a);
    };
}

// The handler that reads one row's answer, or none for the picture row.
AnswerHandler handlerFor(QueryEngine &engine, const QueryRow &row, const CountRules &counts)
{
    const CellRef cell = row.target;
    switch (row.scraper) {
    case Scraper::BaiduCount:
    case Scraper::GoogleCount:
    case Scraper::YahooCount:
    case Scraper::SogouCount:
    case Scraper::YoudaoCount:
    case Scraper::SosoCount:
        return countWriter(engine, cell, counts, *countEngine(row.scraper));
    case Scraper::BaiduSnapshot:
        return [&engine, cell](const PageAnswer &a) {
            // The domain box is read now, when the answer arrives.
            write(engine, cell, scrapeSnapshotDate(a.html(), engine.domainText()), a);
        };
    case Scraper::PageRankAddress:
        return [&engine, cell](const PageAnswer &a) {
            if (!a.read()) {
                write(engine, cell, QStringLiteral("X"), a);
                return;
            }
            // The whole answer is the address of the PageRank request, used as
            // it is. One that cannot be requested leaves the cell waiting.
            try {
                engine.fetcher().urlfetch(a.text, QStringLiteral("get"), QString(), QStringLiteral("gb2312"),
                                          QString::fromUtf16(kPageRankHandler));
            } catch (const FetchError &) {
            }
        };
    case Scraper::AlexaRank:
        return cellWriter(engine, cell, scrapeAlexaRank);
    case Scraper::SogouRank:
        return cellWriter(engine, cell, scrapeSogouRank);
    case Scraper::WhoisDates:
        return [&engine](const PageAnswer &a) { engine.setInfo(InfoText::WhoisDates, scrapeWhoisDates(a.html())); };
    case Scraper::FirstArchiveDate:
        return [&engine](const PageAnswer &a) {
            engine.setInfo(InfoText::ArchiveCaption, QStringLiteral("建站于"));
            engine.setInfo(InfoText::ArchiveDate,
                           a.read() ? scrapeFirstArchiveDate(a.text) : QStringLiteral("Unknown"));
        };
    case Scraper::TrendPicture:
        return {};
    }
    return {};
}

} // namespace

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

void addResultHandlers(QueryEngine &engine, const CountRules &counts)
{
    for (const auto rows : allQueryRows()) {
        for (const QueryRow &row : rows) {
            if (AnswerHandler handler = handlerFor(engine, row, counts))
                engine.handlers().add(QString::fromUtf16(row.handler), std::move(handler));
        }
    }
    const CellRef pageRank = rowFor(Scraper::PageRankAddress).target;
    engine.handlers().add(QString::fromUtf16(kPageRankHandler), cellWriter(engine, pageRank, scrapePageRank));
}

} // namespace yz
