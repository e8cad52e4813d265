#pragma once

#include "server/VendorStore.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace yz::server {

// The HTML pages of the service: HTML5 in UTF-8, no scripts, every value
// escaped. Each function returns the whole page.

QString htmlEscape(const QString &text);

QByteArray homePage(int version, const QList<NewsItem> &news);

// The register form; `message` (may be empty) reports the last attempt.
QByteArray registerPage(const QString &typed, const QString &message, bool registered);

// The download page; `packageFile` is the package's file name, empty when
// none is on offer.
QByteArray updatePage(int version, const QString &packageFile);

struct DomainPageData {
    QString host; // the key, ASCII
    QList<HistoryPoint> history; // oldest first
    int rank = 0; // 0-10
    bool tracked = false;
    int page = 1; // of the history table, 30 rows each, newest first
    QString nextDue; // a tracked domain's next collection: "now", a day or a time
};
QByteArray domainPage(const DomainPageData &data);

// The lookup form again, for a text that is not a domain name.
QByteArray lookupFailedPage(const QString &typed);
QByteArray notFoundPage();

// The one style sheet every page links.
QByteArray styleSheet();

} // namespace yz::server
