// The service's data at scale, on PostgreSQL: 10,000 tracked domains with ten
// years of daily history (36.5 million rows). Measures drawing a domain's
// trend picture from cold, a page of "domains list", and the collector's
// planning (claiming the next domain due). Run by bench/scale.sh.
#include "server/CollectQueue.h"
#include "server/Database.h"
#include "server/DatabaseThread.h"
#include "server/TrendChart.h"
#include "server/VendorService.h"
#include "server/VendorStore.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

using namespace yz::server;

namespace {

constexpr int kDomains = 10'000;
constexpr int kDays = 3650;

bool run(Database &db, const QString &sql)
{
    QSqlQuery query(db.db());
    if (query.exec(sql))
        return true;
    std::printf("failed: %s\n%s\n", qPrintable(sql), qPrintable(query.lastError().text()));
    return false;
}

double ms(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString url = qEnvironmentVariable("YZ_BENCH_POSTGRES");
    DatabaseAddress address;
    QString error;
    if (!DatabaseAddress::parse(url, &address, &error)) {
        std::printf("set YZ_BENCH_POSTGRES to a postgresql:// database (bench/scale.sh does)\n");
        return 1;
    }
    Database database(address);
    if (!database.open(&error)) {
        std::printf("%s\n", qPrintable(error));
        return 1;
    }
    QSqlQuery count(database.db());
    count.exec(QStringLiteral("SELECT COUNT(*) FROM history"));
    count.next();
    if (count.value(0).toLongLong() < qint64(kDomains) * kDays) {
        QElapsedTimer fill;
        fill.start();
        // Bulk loading: the key is built once after the rows are in.
        const bool filled = run(database, QStringLiteral("ALTER TABLE history DROP CONSTRAINT history_pkey"))
                && run(database, QStringLiteral("DROP INDEX history_by_domain"))
                && run(database,
                       QStringLiteral("INSERT INTO domains (name, tracked, source, history_rev) SELECT 'd' || "
                                      "lpad(g::text, 5, '0') || '.example', 1, 'operator', 1 FROM "
                                      "generate_series(1, %1) g ON CONFLICT DO NOTHING")
                               .arg(kDomains))
                && run(database,
                       QStringLiteral("INSERT INTO history (domain, day, count) SELECT 'd' || lpad(d::text, 5, '0') "
                                      "|| '.example', to_char(date '2016-12-08' + i, 'YYYY-MM-DD'), d * 1000 + "
                                      "(i * 37) % 5000 FROM generate_series(1, %1) d, generate_series(0, %2) i")
                               .arg(kDomains)
                               .arg(kDays - 1))
                && run(database, QStringLiteral("ALTER TABLE history ADD PRIMARY KEY (domain, day)"))
                && run(database, QStringLiteral("CREATE INDEX history_by_domain ON history (domain, day, count)"))
                && run(database, QStringLiteral("VACUUM ANALYZE"));
        if (!filled)
            return 1;
        std::printf("| filling | %d domains x %d days in %.0f s |  |  |\n", kDomains, kDays, ms(fill) / 1000);
    }

    // Pictures from cold: a new service has nothing cached.
    DatabaseThread databaseThread(address, {.deadlineMs = 60'000});
    if (!databaseThread.start(&error)) {
        std::printf("%s\n", qPrintable(error));
        return 1;
    }
    SharedAnswers shared(ServiceConfig{}.suggestionsPerHour, ServiceConfig{}.registrationsPerHour);
    VendorService service(ServiceConfig{}, databaseThread, shared);
    std::vector<double> draws;
    for (int i = 0; i < 20; ++i) {
        const QString host = QStringLiteral("d%1.example").arg(1 + i * 487, 5, 10, QLatin1Char('0'));
        QElapsedTimer clock;
        clock.start();
        std::optional<Reply> reply;
        service.answer(VendorService::Method::Get, QUrl(QStringLiteral("/yzclientthumb/%1_bd1.jpg").arg(host)), {},
                       QStringLiteral("127.0.0.1"), [&reply](const Reply &answered) { reply = answered; });
        while (!reply)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        draws.push_back(ms(clock));
        if (reply->status != yz::server::HttpStatus::Ok)
            std::printf("picture of %s: %d\n", qPrintable(host), code(reply->status));
    }
    std::sort(draws.begin(), draws.end());
    std::printf("| trend picture from cold (3,650 points) | median %.1f ms, slowest %.1f ms | < 20 ms | %s |\n",
                draws[draws.size() / 2], draws.back(), draws.back() < 20 ? "met" : "MISSED");

    // Where the time of a cold picture goes: reading the history, drawing it.
    {
        VendorStore store(database);
        QElapsedTimer clock;
        clock.start();
        const auto history = store.history(QStringLiteral("d09999.example"));
        const double readMs = ms(clock);
        clock.restart();
        drawTrendChart(history.value());
        std::printf("| of which: reading 3,650 rows %.1f ms, drawing %.1f ms |  |  |  |\n", readMs, ms(clock));
    }

    QElapsedTimer page;
    page.start();
    const auto list = domainStatuses(database, QStringLiteral("d05000.example"), 100,
                                     QDateTime::currentDateTimeUtc().date(), &error);
    std::printf("| domains list, a page of 100 from the middle | %.1f ms (%lld lines) |  |  |\n", ms(page),
                static_cast<long long>(list ? list->size() : -1));

    // Planning: half the day's domains are done, the next claim is wanted.
    run(database, QStringLiteral("DELETE FROM collect_claims"));
    run(database,
        QStringLiteral("INSERT INTO collect_claims (domain, day, done, attempts, outcome) SELECT name, '%1', 1, 1, "
                       "'ok' FROM domains WHERE name < 'd05000.example'")
                .arg(QDateTime::currentDateTimeUtc().date().toString(Qt::ISODate)));
    CollectQueue queue(database, QStringLiteral("bench"));
    std::vector<double> claims;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer clock;
        clock.start();
        const auto next = queue.claimNext(QDateTime::currentDateTimeUtc().date(), QDateTime::currentDateTimeUtc(), 300);
        claims.push_back(ms(clock));
        if (!next || next->isEmpty())
            std::printf("no claim: %s\n", qPrintable(queue.lastError()));
    }
    std::sort(claims.begin(), claims.end());
    std::printf("| collector planning (next claim among 10,000, half done) | median %.1f ms, slowest %.1f ms | < 1 s | "
                "%s |\n",
                claims[claims.size() / 2], claims.back(), claims.back() < 1000 ? "met" : "MISSED");
    return 0;
}
