#include "parsers/ResultHandlers.h"

#include "parsers/CountParsers.h"
#include "parsers/DomainAgeParsers.h"
#include "parsers/RankParsers.h"
#include "query/QueryEngine.h"

namespace yz {
namespace {

// The cell a handler writes: the target of its row in the query table.
CellRef cellOf(const char16_t *handler)
{
    const QueryRow *row = findQueryRow(handler);
    Q_ASSERT(row);
    return row->target;
}

void write(QueryEngine &engine, const CellRef &cell, const QString &value)
{
    engine.sheet().setValue(cell.grid, cell.col, cell.row, value);
}

} // namespace

void addResultHandlers(QueryEngine &engine)
{
    for (const CountHandler &h : countHandlers()) {
        const CellRef cell = cellOf(h.name);
        const Engine which = h.engine;
        engine.handlers().add(QString::fromUtf16(h.name), [&engine, cell, which](qint16, const QString &html) {
            write(engine, cell, scrapeCount(which, html));
        });
    }

    const CellRef snapshot = cellOf(u"bdkz");
    engine.handlers().add(QStringLiteral("bdkz"), [&engine, snapshot](qint16, const QString &html) {
        // The domain box is read now, when the answer arrives.
        write(engine, snapshot, scrapeSnapshotDate(html, engine.domainText()));
    });

    const CellRef pageRank = cellOf(u"prurl");
    engine.handlers().add(QStringLiteral("prurl"), [&engine, pageRank](qint16 err, const QString &html) {
        if (err != 0) {
            write(engine, pageRank, QStringLiteral("X"));
            return;
        }
        // The whole answer is the address of the PageRank request, used as it
        // is. One that cannot be requested leaves the cell waiting.
        try {
            engine.fetcher().urlfetch(html, QStringLiteral("get"), QString(), QStringLiteral("gb2312"),
                                      QStringLiteral("pr"));
        } catch (const FetchError &) {
        }
    });
    engine.handlers().add(QStringLiteral("pr"), [&engine, pageRank](qint16, const QString &html) {
        write(engine, pageRank, scrapePageRank(html));
    });

    const CellRef alexa = cellOf(u"ale");
    engine.handlers().add(QStringLiteral("ale"), [&engine, alexa](qint16, const QString &html) {
        write(engine, alexa, scrapeAlexaRank(html));
    });
    const CellRef sogouRank = cellOf(u"sgr");
    engine.handlers().add(QStringLiteral("sgr"), [&engine, sogouRank](qint16, const QString &html) {
        write(engine, sogouRank, scrapeSogouRank(html));
    });

    engine.handlers().add(QStringLiteral("birthdayDomain"), [&engine](qint16, const QString &html) {
        engine.setInfo(InfoText::WhoisDates, scrapeWhoisDates(html));
    });
    engine.handlers().add(QStringLiteral("birthdaySite"), [&engine](qint16 err, const QString &html) {
        engine.setInfo(InfoText::ArchiveCaption, QStringLiteral("建站于"));
        engine.setInfo(InfoText::ArchiveDate, err != 0 ? QStringLiteral("Unknown") : scrapeFirstArchiveDate(html));
    });
}

} // namespace yz
