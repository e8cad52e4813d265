#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace yz::cli {

// A piece of input that is not a domain name, where it stood and why.
struct RejectedDomain {
    int line = 0; // in the input file; 0 for an argument
    QString text;
    QString reason;
};

struct DomainInput {
    QStringList domains; // normalised (normalizeHostName), each once, in input order
    QList<RejectedDomain> rejected;
};

// Domains from arguments, and from an input file's text (one or more a line,
// separated by blanks or commas; blank lines and lines starting with "#"
// skipped). Appends to `input`.
void addArgumentDomains(const QStringList &arguments, DomainInput *input);
void addTextDomains(const QString &text, DomainInput *input);

// An input file's bytes as text: UTF-8 (a byte-order mark allowed). Text in
// another encoding (GBK, say) is refused with the line it fails on: read
// as UTF-8 it would turn into other domains.
std::optional<QString> decodeInputFile(const QByteArray &bytes, QString *error);

} // namespace yz::cli
