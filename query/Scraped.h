#pragma once

#include "query/CellStatus.h"

#include <QString>

namespace yz {

// A value read from a page and why it is that value. The scraper that reads
// the value decides the cause: Ok, None (the service said nothing was found),
// Refused or Unrecognised, with a reason when more is known than that the
// page matched nothing.
struct Scraped {
    QString value;
    CellStatus::Cause cause = CellStatus::Cause::Ok;
    QString reason;

    static Scraped ok(QString value) { return {std::move(value), CellStatus::Cause::Ok, {}}; }
    static Scraped none(QString value) { return {std::move(value), CellStatus::Cause::None, {}}; }
    static Scraped refused(QString value) { return {std::move(value), CellStatus::Cause::Refused, {}}; }
    static Scraped unrecognised(QString value, QString reason = {})
    {
        return {std::move(value), CellStatus::Cause::Unrecognised, std::move(reason)};
    }
};

} // namespace yz
