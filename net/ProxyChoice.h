#pragma once

#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QString>

#include <optional>

namespace yz {

// A proxy as a user writes it: "http://[user:password@]host[:port]" or
// "socks5://…" ("socks5h://" too: names resolved by the proxy). Qt cannot
// speak TLS to a proxy, so "https://" is refused with that reason.
std::optional<QNetworkProxy> parseProxyUrl(const QString &url, QString *error);
// The proxy for messages, without its password: "http://127.0.0.1:3128".
QString proxyText(const QNetworkProxy &proxy);

// Where every request of the program goes: through the proxy given (the
// command line's --proxy), else the desktop's settings and the environment's
// http_proxy and https_proxy as Qt reads them, else all_proxy (ALL_PROXY),
// which Qt alone ignores. Hosts named by no_proxy (NO_PROXY) go direct.
class ProxyChoice : public QNetworkProxyFactory {
public:
    explicit ProxyChoice(std::optional<QNetworkProxy> given = std::nullopt);

    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override;

    // Makes one the program's proxy factory, with the proxy given, if any.
    static void install(std::optional<QNetworkProxy> given);

private:
    bool bypassed(const QString &host) const;

    std::optional<QNetworkProxy> m_given;
    std::optional<QNetworkProxy> m_all;
    QStringList m_noProxy;
};

} // namespace yz
