#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace yz {

// Every outside service the program talks to. The base address of each lives
// in one ServiceHosts table; nothing else names a host.
enum class Service {
    Baidu, // web search
    Google, // search, Chinese site
    Yahoo, // Yahoo China site explorer
    Sogou, // web search and SogouRank
    Youdao, // search
    Soso, // search
    Alexa, // site information
    Vendor, // the vendor's own web service
    Whois, // whois pages
    Archive, // web archive
    Cnzz, // CNZZ site statistics
    La51, // 51LA site statistics
    Count
};

constexpr int kServiceCount = int(Service::Count);

class ServiceHosts {
public:
    // The production table.
    ServiceHosts();

    // Base address ("http://host[:port]", no trailing slash) of a service:
    // the one set here, else where the rules in force move it, else the
    // built-in one.
    QString base(Service service) const;
    void setBase(Service service, const QString &base) { m_bases[size_t(service)] = base; }

    // Where the rules in force move services, by service: a base address,
    // another service's name (that service's base), or empty (not moved). A
    // service whose base was set here keeps it: the user's endpoints win.
    void setRulesBases(const std::array<QString, kServiceCount> &bases) { m_rulesBases = bases; }
    // A base address in the table's spelling (scheme and host in lower case,
    // no trailing slash); nothing when `text` is not a plain http(s) base.
    static std::optional<QString> plainBase(const QString &text);

    // Replaces the base of the service called `name` (see serviceName). Refuses,
    // with a message in `error`, an unknown name or an address that is not a
    // plain http(s) base address.
    bool setBase(const QString &name, const QString &base, QString *error);

    // The public key (32 bytes) published rules must be signed with: the
    // vendor's, built in; empty when the build set none.
    const QByteArray &rulesKey() const { return m_rulesKey; }
    // Replaces it with a key written in base64; refuses anything else.
    bool setRulesKey(const QString &base64, QString *error);
    // The endpoints file's entry for that key.
    static QString rulesKeyName() { return QStringLiteral("vendor-key"); }

    // The short lower-case name of a service ("baidu", "vendor", ...).
    static QString serviceName(Service service);
    static QStringList serviceNames();
    static std::optional<Service> serviceNamed(const QString &name);

private:
    std::array<QString, kServiceCount> m_bases;
    std::array<QString, kServiceCount> m_rulesBases;
    QByteArray m_rulesKey;
};

} // namespace yz
