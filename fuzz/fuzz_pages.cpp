// Page bytes as a server might send them: decoded under each charset label
// the program uses, then through every result scraper.
#include "FuzzInput.h"
#include "net/TextDecoding.h"
#include "net/spyHTTP.h"
#include "parsers/CountParsers.h"
#include "parsers/DomainAgeParsers.h"
#include "parsers/LowerCase.h"
#include "parsers/RankParsers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the label; the rest is the page.
    static const QString labels[] = {QStringLiteral("gb2312"),  QStringLiteral("utf-8"), QStringLiteral("GBK"),
                                     QStringLiteral("gb18030"), QStringLiteral("big5"),  QStringLiteral("no-such")};
    const QString &label = labels[data[0] % std::size(labels)];
    const QByteArray bytes = yzfuzz::bytesOf(data + 1, size - 1);
    QString html = yz::decodeByLabel(bytes, label);
    if (yz::declaresUtf8(html))
        html = yz::decodeByLabel(bytes, QStringLiteral("utf-8"));

    for (int e = 0; e <= int(yz::Engine::Soso); ++e)
        (void)yz::scrapeCount(yz::Engine(e), html).value;
    (void)yz::scrapeSnapshotDate(html, html.left(20)).value;
    (void)yz::scrapePageRank(html).value;
    (void)yz::scrapeAlexaRank(html).value;
    (void)yz::scrapeSogouRank(html).value;
    (void)yz::scrapeWhoisDates(html).value;
    (void)yz::scrapeFirstArchiveDate(html).value;
    // The fast lower-casing must agree with Qt's on every decoded page.
    yzfuzz::check(yz::lowerCasedPage(html) == html.toLower(), "lowerCasedPage == toLower");
    return 0;
}
