#include "parsers/DomainAgeParsers.h"

#include "parsers/LowerCase.h"

namespace yz {

Scraped scrapeWhoisDates(const QString &html, const DateRules &rules)
{
    const QString page = lowerCasedPage(html);
    bool registeredGaveUp = false;
    bool expiresGaveUp = false;
    const std::optional<QString> registered = rules.read(DateValue::WhoisRegistered, page, &registeredGaveUp);
    const std::optional<QString> expires = rules.read(DateValue::WhoisExpires, page, &expiresGaveUp);
    const QString value = registered.value_or(QStringLiteral("Unknown")) + QStringLiteral("至")
            + expires.value_or(QStringLiteral("Unknown"));
    if (registered && expires)
        return Scraped::ok(value);
    if (registeredGaveUp || expiresGaveUp)
        return Scraped::unrecognised(value, patternGaveUpReason());
    return Scraped::unrecognised(value,
                                 registered        ? QStringLiteral("没有找到到期日期")
                                         : expires ? QStringLiteral("没有找到注册日期")
                                                   : QString());
}

Scraped scrapeFirstArchiveDate(const QString &html, const DateRules &rules)
{
    bool gaveUp = false;
    if (const std::optional<QString> date = rules.read(DateValue::FirstArchive, lowerCasedPage(html), &gaveUp))
        return Scraped::ok(*date);
    return Scraped::unrecognised(QStringLiteral("NotMatch"), gaveUp ? patternGaveUpReason() : QString());
}

} // namespace yz
