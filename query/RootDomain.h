#pragma once

#include <QString>

namespace yz {

// The registrable root domain of a host, for the whois request: the last two
// labels, or three where the last two form a known two-level suffix
// ("bbs.example.com.cn" -> "example.com.cn").
struct RootDomainResult {
    bool ok = false;
    QString root; // on success
    QString message; // on failure: "错误的域名格式1" or "错误的域名格式2"
    QString reason; // on failure: what is wrong with the text, in words
};

RootDomainResult findRootDomain(const QString &domainText);

// The title of the message box that reports a failure.
inline const QString kRootDomainMessageTitle = QStringLiteral("砚舟提示");

} // namespace yz
