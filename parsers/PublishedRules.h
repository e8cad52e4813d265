#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace yz {

// A rules file as the vendor publishes it: a version that only grows, the
// time of publishing, the rules file's JSON, and an Ed25519 signature over
// all three together, so none of them can be changed or replayed apart.
//
// The served form is text: four header lines, an empty line, the content.
//   yanzhou-rules 1
//   version 7
//   published 2026-12-08T06:00:00Z
//   signature <base64 of 64 bytes>
struct PublishedRules {
    qint64 version = 0;
    QDateTime published; // UTC, whole seconds
    QByteArray content;
    QByteArray signature;

    // The bytes the signature covers: the served form without its signature line.
    QByteArray signedBytes() const;
    QByteArray encoded() const;
    QString describe() const; // "7（2026-12-08 06:00 UTC 发布）"
};

// A served form or a stored file is never larger: the rules take a few
// kilobytes, and the rules file's own limit is 1 MiB.
inline constexpr qsizetype kMaxPublishedRules = 1024 * 1024 + 4096;

// The version of a served form as its header writes it ("7"), read without
// checking the rest; empty when it has no version line.
QByteArray servedVersion(const QByteArray &served);

// Reads the served form; nothing, with the reason, when it is malformed or too large.
std::optional<PublishedRules> decodePublishedRules(const QByteArray &bytes, QString *error);

// Whether the rules are signed by the key's owner and pass the checks a
// rules file passes (the same code as --rules). `publicKey` is the key's 32
// bytes; an empty key accepts nothing.
bool verifyPublishedRules(const PublishedRules &rules, const QByteArray &publicKey, QString *error);

// Whether a rules file's JSON passes the checks of --rules.
bool checkRulesContent(const QByteArray &content, QString *error);

struct SigningKeys {
    QByteArray publicKey; // 32 bytes
    QByteArray secretKey; // 64 bytes
};
SigningKeys generateSigningKeys();
// Signs the rules in place with the secret key.
void signPublishedRules(PublishedRules &rules, const QByteArray &secretKey);

// A key as written in a key file or given to the build (base64); empty when
// it is not one.
QByteArray decodeKey(const QByteArray &base64, qsizetype size);

} // namespace yz
