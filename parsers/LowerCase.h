#pragma once

#include <QString>

namespace yz {

// The same text as QString::toLower() for any decoded page (decoders never
// leave lone surrogates, on which Qt's own result depends on what precedes
// them), many times faster on Chinese pages: ASCII and the caseless CJK and
// Hangul blocks are mapped in place, and only runs of other characters go
// through Qt's full mapping.
QString lowerCasedPage(const QString &text);

} // namespace yz
