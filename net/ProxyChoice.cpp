#include "net/ProxyChoice.h"

#include <QUrl>

namespace yz {
namespace {

QString environment(const char *lower, const char *upper)
{
    const QByteArray value = qgetenv(lower);
    return QString::fromLocal8Bit(value.isEmpty() ? qgetenv(upper) : value).trimmed();
}

} // namespace

std::optional<QNetworkProxy> parseProxyUrl(const QString &text, QString *error)
{
    // "host:port" alone is an HTTP proxy, as curl takes it.
    const QUrl url(text.contains(QStringLiteral("://")) ? text : QStringLiteral("http://") + text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (!url.path().isEmpty() && url.path() != u"/")) {
        *error = QStringLiteral("代理地址格式不对：%1（应为 http://主机:端口 或 socks5://主机:端口）").arg(text);
        return std::nullopt;
    }
    QNetworkProxy proxy;
    if (scheme == u"http") {
        proxy.setType(QNetworkProxy::HttpProxy);
        proxy.setPort(quint16(url.port(8080)));
    } else if (scheme == u"socks5" || scheme == u"socks5h") {
        proxy.setType(QNetworkProxy::Socks5Proxy);
        proxy.setPort(quint16(url.port(1080)));
    } else if (scheme == u"https") {
        *error = QStringLiteral("不支持经 TLS 连接的代理（%1）：请用 http:// 或 socks5:// 地址").arg(text);
        return std::nullopt;
    } else {
        *error = QStringLiteral("不支持的代理类型 %1（可用 http、socks5）").arg(url.scheme());
        return std::nullopt;
    }
    proxy.setHostName(url.host());
    proxy.setUser(url.userName(QUrl::FullyDecoded));
    proxy.setPassword(url.password(QUrl::FullyDecoded));
    return proxy;
}

QString proxyText(const QNetworkProxy &proxy)
{
    const QString scheme =
            proxy.type() == QNetworkProxy::Socks5Proxy ? QStringLiteral("socks5") : QStringLiteral("http");
    return QStringLiteral("%1://%2:%3").arg(scheme, proxy.hostName()).arg(proxy.port());
}

ProxyChoice::ProxyChoice(std::optional<QNetworkProxy> given)
    : m_given(std::move(given))
{
    QString ignored;
    if (const QString all = environment("all_proxy", "ALL_PROXY"); !all.isEmpty())
        m_all = parseProxyUrl(all, &ignored);
    for (const QString &entry : environment("no_proxy", "NO_PROXY").split(u',', Qt::SkipEmptyParts))
        m_noProxy.append(entry.trimmed().toLower());
}

bool ProxyChoice::bypassed(const QString &host) const
{
    const QString name = host.toLower();
    for (const QString &entry : m_noProxy) {
        if (entry == u"*")
            return true;
        const QString suffix = entry.startsWith(u'.') ? entry.mid(1) : entry;
        if (name == suffix || name.endsWith(u'.' + suffix))
            return true;
    }
    return false;
}

QList<QNetworkProxy> ProxyChoice::queryProxy(const QNetworkProxyQuery &query)
{
    if (bypassed(query.peerHostName()))
        return {QNetworkProxy(QNetworkProxy::NoProxy)};
    if (m_given)
        return {*m_given};
    QList<QNetworkProxy> system = systemProxyForQuery(query);
    const bool direct = system.isEmpty() || (system.size() == 1 && system.first().type() == QNetworkProxy::NoProxy);
    if (direct && m_all)
        return {*m_all};
    return system;
}

void ProxyChoice::install(std::optional<QNetworkProxy> given)
{
    QNetworkProxyFactory::setApplicationProxyFactory(new ProxyChoice(std::move(given)));
}

} // namespace yz
