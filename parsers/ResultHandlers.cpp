#include "parsers/ResultHandlers.h"

#include "parsers/DomainAgeParsers.h"
#include "parsers/RankParsers.h"
#include "query/QueryEngine.h"

namespace yz {
namespace {

// Writes a handler's value and, beside it, why it is that value.
void write(QueryEngine &engine, const CellRef &cell, const QString &value, qint16 err, const QString &html)
{
    engine.sheet().setValue(cell.grid, cell.col, cell.row, value);
    engine.sheet().setStatus(cell.grid, cell.col, cell.row, CellStatus::of(err, html, value));
}

// A handler that writes the scraped value into the row's cell.
PageHandler cellWriter(QueryEngine &engine, const CellRef cell, QString (*scrape)(const QString &))
{
    return [&engine, cell, scrape](qint16 err, const QString &html) { write(engine, cell, scrape(html), err, html); };
}

PageHandler countWriter(QueryEngine &engine, const CellRef cell, const CountRules &counts, Engine which)
{
    return [&engine, cell, &counts, which](qint16 err, const QString &html) {
        write(engine, cell, counts.scrape(which, html), err, html);
    };
}

// The handler that reads one row's answer, or none for the picture row.
PageHandler handlerFor(QueryEngine &engine, const QueryRow &row, const CountRules &counts)
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
        return [&engine, cell](qint16 err, const QString &html) {
            // The domain box is read now, when the answer arrives.
            write(engine, cell, scrapeSnapshotDate(html, engine.domainText()), err, html);
        };
    case Scraper::PageRankAddress:
        return [&engine, cell](qint16 err, const QString &html) {
            if (err != 0) {
                write(engine, cell, QStringLiteral("X"), err, html);
                return;
            }
            // The whole answer is the address of the PageRank request, used as
            // it is. One that cannot be requested leaves the cell waiting.
            try {
                engine.fetcher().urlfetch(html, QStringLiteral("get"), QString(), QStringLiteral("gb2312"),
                                          QString::fromUtf16(kPageRankHandler));
            } catch (const FetchError &) {
            }
        };
    case Scraper::AlexaRank:
        return cellWriter(engine, cell, scrapeAlexaRank);
    case Scraper::SogouRank:
        return cellWriter(engine, cell, scrapeSogouRank);
    case Scraper::WhoisDates:
        return [&engine](qint16, const QString &html) { engine.setInfo(InfoText::WhoisDates, scrapeWhoisDates(html)); };
    case Scraper::FirstArchiveDate:
        return [&engine](qint16 err, const QString &html) {
            engine.setInfo(InfoText::ArchiveCaption, QStringLiteral("建站于"));
            engine.setInfo(InfoText::ArchiveDate, err != 0 ? QStringLiteral("Unknown") : scrapeFirstArchiveDate(html));
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
            if (PageHandler handler = handlerFor(engine, row, counts))
                engine.handlers().add(QString::fromUtf16(row.handler), std::move(handler));
        }
    }
    const CellRef pageRank = rowFor(Scraper::PageRankAddress).target;
    engine.handlers().add(QString::fromUtf16(kPageRankHandler), cellWriter(engine, pageRank, scrapePageRank));
}

} // namespace yz
