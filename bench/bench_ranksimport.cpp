// Import speed of a ranks file into the service's SQLite database: two
// million rows shaped like Common Crawl's host ranks (reversed names, sorted
// by position), through the same importer as "yanzhou-server ranks import".
#include "server/Database.h"
#include "server/RanksImport.h"
#include "server/VendorStore.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    constexpr qint64 kRows = 2'000'000;
    constexpr double kTarget = 200'000;

    QByteArray file = "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\n";
    file.reserve(kRows * 48);
    for (qint64 i = 1; i <= kRows; ++i) {
        // Names spread over the alphabet, as real host names are.
        const quint64 h = quint64(i) * 0x9E3779B97F4A7C15ULL;
        file += QByteArray::number(i) + '\t' + QByteArray::number(3.1e7 / double(i), 'g', 6) + '\t'
                + QByteArray::number(i % 1000 + 1) + "\t0.0001\t" + (i % 3 ? "com." : "cn.com.")
                + QByteArray::number(h % 100'000'000'000ULL, 36) + ".www\n";
    }

    QTemporaryDir dir;
    yz::server::DatabaseAddress address;
    QString error;
    yz::server::DatabaseAddress::parse(dir.filePath(QStringLiteral("ranks.sqlite")), &address, &error);
    yz::server::Database database(address);
    if (!database.open(&error)) {
        std::printf("cannot open: %s\n", qPrintable(error));
        return 1;
    }
    QBuffer input(&file);
    input.open(QIODevice::ReadOnly);
    QElapsedTimer clock;
    clock.start();
    const yz::server::RanksImportResult result = yz::server::importRanks(input, database, kRows);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (!result.ok || result.rows != kRows) {
        std::printf("import failed: %s\n", qPrintable(result.error));
        return 1;
    }
    yz::server::VendorStore store(database);
    QElapsedTimer lookup;
    lookup.start();
    constexpr int kLookups = 10'000;
    for (int i = 0; i < kLookups; ++i)
        store.rankPosition(QStringLiteral("www.absent%1.com").arg(i));
    const double lookupUs = double(lookup.nsecsElapsed()) / 1e3 / kLookups;
    const double rate = double(kRows) / seconds;
    std::printf("| ranks import (SQLite) | %lld rows in %.2f s: %.0f rows/s | >= %.0f rows/s | %s |\n",
                static_cast<long long>(kRows), seconds, rate, kTarget, rate >= kTarget ? "met" : "MISSED");
    std::printf("| rank lookup after import | %.1f us per name |  |  |\n", lookupUs);
    return 0;
}
