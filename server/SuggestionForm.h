#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace yz::server {

// The text of a suggestion form body "c=..." as the window sends it: GBK bytes
// percent-encoded, "+" for a blank. A "%" not followed by two hexadecimal
// digits stays as it is. No value when the body has no "c" field.
std::optional<QString> decodeSuggestionForm(QByteArrayView body);

} // namespace yz::server
