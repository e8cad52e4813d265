#include "services/VendorChecks.h"

#include "net/FormEncoding.h"
#include "services/HandlerNames.h"
#include "services/VendorPaths.h"

namespace yz {

VendorChecks::VendorChecks(PageFetcher &fetcher, const ServiceHosts &hosts, int version, QObject *parent)
    : QObject(parent)
    , m_fetcher(fetcher)
    , m_hosts(hosts)
    , m_version(version)
{
    fetcher.handlers().add(QString::fromUtf16(handler::kCheckVersion),
                           [this](qint16 err, const QString &html) { checkVer(err, html); });
    fetcher.handlers().add(QString::fromUtf16(handler::kShowNews),
                           [this](qint16 err, const QString &html) { showNews(err, html); });
}

void VendorChecks::askVersion()
{
    askVendor(vendor::kVersionCheck, QString::fromUtf16(handler::kCheckVersion));
}

void VendorChecks::askNews()
{
    askVendor(vendor::kNews, QString::fromUtf16(handler::kShowNews));
}

void VendorChecks::askVendor(const char16_t *path, const QString &handler)
{
    const QString url = m_hosts.base(Service::Vendor) + QString::fromUtf16(path) + QString::number(m_version);
    // A failure shows nothing: the program works without the vendor's answers.
    m_fetcher.urlfetch(url, QStringLiteral("get"), QString(), QStringLiteral("gb2312"), handler);
}

void VendorChecks::checkVer(qint16, const QString &html)
{
    // A failed request's status digits are no version: they are never above ours.
    const auto reported = parseVersionAnswer(html);
    if (reported && *reported > m_version)
        Q_EMIT newerVersion(*reported);
}

void VendorChecks::showNews(qint16 err, const QString &html)
{
    if (err != 0)
        return;
    if (const auto answer = parseNewsAnswer(html))
        Q_EMIT news(*answer);
}

void VendorChecks::suggest(const QString &text)
{
    const QString url = m_hosts.base(Service::Vendor) + QString::fromUtf16(vendor::kSuggestion);
    m_fetcher.urlfetch(url, QStringLiteral("post"), QStringLiteral("c=") + urlencode(text), QStringLiteral("utf-8"),
                       QString::fromUtf16(handler::kSuggestionSent));
}

} // namespace yz
