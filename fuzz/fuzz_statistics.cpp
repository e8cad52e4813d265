// Statistics report pages of both providers.
#include "FuzzInput.h"
#include "parsers/StatisticsRules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString html = yzfuzz::textOf(data, size);
    for (const auto provider : {yz::StatisticsProvider::Cnzz, yz::StatisticsProvider::La51}) {
        const yz::StatisticsResult r = yz::scrapeStatistics(provider, html);
        if (r.kind == yz::StatisticsResult::Kind::Line)
            yzfuzz::check(r.line.startsWith(QStringLiteral("我的网站统计")), "the line's caption");
    }
    return 0;
}
