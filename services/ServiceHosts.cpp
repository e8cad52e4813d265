#include "services/ServiceHosts.h"

#include <QUrl>

namespace yz {
namespace {

struct HostEntry {
    Service service;
    const char16_t *name;
    const char16_t *base;
};

// The hosts of the services. Keep README's list in step with this table.
constexpr HostEntry kHosts[] = {
        {Service::Baidu, u"baidu", u"http://www.baidu.com"},
        {Service::Google, u"google", u"http://www.google.com.hk"},
        {Service::Yahoo, u"yahoo", u"http://sitemap.cn.yahoo.com"},
        {Service::Sogou, u"sogou", u"http://www.sogou.com"},
        {Service::Youdao, u"youdao", u"http://www.youdao.com"},
        {Service::Soso, u"soso", u"http://www.soso.com"},
        {Service::Alexa, u"alexa", u"http://www.alexa.com"},
        {Service::Vendor, u"vendor", u"" YZ_VENDOR_BASE},
        {Service::Whois, u"whois", u"http://www.whois.net"},
        {Service::Archive, u"archive", u"http://web.archive.org"},
        {Service::Cnzz, u"cnzz", u"http://new.cnzz.com"},
        {Service::La51, u"51la", u"http://www.51.la"},
};
static_assert(std::size(kHosts) == size_t(kServiceCount));
// Indexed by Service below.
static_assert([] {
    for (size_t i = 0; i < std::size(kHosts); ++i)
        if (size_t(kHosts[i].service) != i)
            return false;
    return true;
}());

} // namespace

ServiceHosts::ServiceHosts()
{
    for (const HostEntry &e : kHosts)
        m_bases[size_t(e.service)] = QString::fromUtf16(e.base);
    setRulesKey(QStringLiteral(YZ_RULES_PUBLIC_KEY), nullptr);
}

bool ServiceHosts::setRulesKey(const QString &base64, QString *error)
{
    constexpr qsizetype kKeySize = 32; // Ed25519
    const auto decoded =
            QByteArray::fromBase64Encoding(base64.trimmed().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (decoded && decoded.decoded.size() == kKeySize) {
        m_rulesKey = decoded.decoded;
        return true;
    }
    if (error)
        *error = QStringLiteral("\"%1\" 应是 32 字节公钥的 base64").arg(rulesKeyName());
    return false;
}

std::optional<QString> ServiceHosts::plainBase(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    const bool plain = url.isValid() && (url.scheme() == u"http" || url.scheme() == u"https") && !url.host().isEmpty()
            && (url.path().isEmpty() || url.path() == u"/") && !url.hasQuery() && !url.hasFragment()
            && url.userInfo().isEmpty();
    if (!plain)
        return std::nullopt;
    // Kept in QUrl's own spelling: scheme and host in lower case, no
    // trailing slash.
    return url.adjusted(QUrl::RemovePath).toString(QUrl::FullyEncoded);
}

bool ServiceHosts::setBase(const QString &name, const QString &base, QString *error)
{
    const std::optional<Service> service = serviceNamed(name);
    if (!service) {
        if (error)
            *error = QStringLiteral("未知的服务 \"%1\"（可用的服务：%2）").arg(name, serviceNames().join(u", "));
        return false;
    }
    const std::optional<QString> plain = plainBase(base);
    if (!plain) {
        if (error)
            *error = QStringLiteral("服务 \"%1\" 的地址格式不对：\"%2\"（应为 http://主机[:端口]）").arg(name, base);
        return false;
    }
    m_bases[size_t(*service)] = *plain;
    return true;
}

QString ServiceHosts::base(Service service) const
{
    const QString &configured = m_bases[size_t(service)];
    const QString &moved = m_rulesBases[size_t(service)];
    if (moved.isEmpty() || configured != QStringView(kHosts[size_t(service)].base))
        return configured;
    if (const std::optional<Service> other = serviceNamed(moved))
        return m_bases[size_t(*other)];
    return moved;
}

QString ServiceHosts::serviceName(Service service)
{
    for (const HostEntry &e : kHosts)
        if (e.service == service)
            return QString::fromUtf16(e.name);
    return QString();
}

std::optional<Service> ServiceHosts::serviceNamed(const QString &name)
{
    for (const HostEntry &e : kHosts)
        if (name == QStringView(e.name))
            return e.service;
    return std::nullopt;
}

QStringList ServiceHosts::serviceNames()
{
    QStringList names;
    for (const HostEntry &e : kHosts)
        names << QString::fromUtf16(e.name);
    return names;
}

} // namespace yz
