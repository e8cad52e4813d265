#include "parsers/ResultHandlers.h"

#include "parsers/CountParsers.h"
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

PageHandler countWriter(QueryEngine &engine, const CellRef cell, Engine which)
{
    return [&engine, cell, which](qint16 err, const QString &html) {
        write(engine, cell, scrapeCount(which, html), err, html);
    };
}

// The handler that reads one row's answer, or none for the picture row.
PageHandler handlerFor(QueryEngine &engine, const QueryRow &row)
{
    const CellRef cell = row.target;
    switch (row.scraper) {
    case Scraper::BaiduCount:
        return countWriter(engine, cell, Engine::Baidu);
    case Scraper::GoogleCount:
        return countWriter(engine, cell, Engine::Google);
    case Scraper::YahooCount:
        return countWriter(engine, cell, Engine::Yahoo);
    case Scraper::SogouCount:
        return countWriter(engine, cell, Engine::Sogou);
    case Scraper::YoudaoCount:
        return countWriter(engine, cell, Engine::Youdao);
    case Scraper::SosoCount:
        return countWriter(engine, cell, Engine::Soso);
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

void addResultHandlers(QueryEngine &engine)
{
    for (const auto rows : allQueryRows()) {
        for (const QueryRow &row : rows) {
            if (PageHandler handler = handlerFor(engine, row))
                engine.handlers().add(QString::fromUtf16(row.handler), std::move(handler));
        }
    }
    const CellRef pageRank = rowFor(Scraper::PageRankAddress).target;
    engine.handlers().add(QString::fromUtf16(kPageRankHandler), cellWriter(engine, pageRank, scrapePageRank));
}

} // namespace yz
