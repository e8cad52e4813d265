#pragma once

#include "net/PageFetcher.h"
#include "services/ServiceHosts.h"
#include "services/VendorAnswers.h"

#include <QObject>

namespace yz {

// What the program asks the vendor's web service at start-up: whether a newer
// version exists, and the news line. The answers reach the handlers
// "checkVer" and "showNews", which report what they read.
class VendorChecks : public QObject {
    Q_OBJECT
public:
    // Registers the two handlers with the fetcher's table.
    VendorChecks(PageFetcher &fetcher, const ServiceHosts &hosts, int version, QObject *parent = nullptr);

    int version() const { return m_version; }
    void askVersion();
    void askNews();

    // The handlers: a version above ours is reported once per answer; a news
    // answer that can be read is reported whole. Failed requests report nothing.
    void checkVer(qint16 err, const QString &html);
    void showNews(qint16 err, const QString &html);
    // The suggestion's answer is not read; posting one is the window's.
    void suggest(const QString &text);

Q_SIGNALS:
    void newerVersion(int reported);
    void news(const yz::NewsAnswer &items);

private:
    void askVendor(const char16_t *path, const QString &handler);

    PageFetcher &m_fetcher;
    const ServiceHosts &m_hosts;
    int m_version;
};

} // namespace yz
