#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace yz {

// GBK as browsers decode it: the WHATWG gb18030 decoder, which is what the
// label "gb2312" means on the web. Malformed input becomes U+FFFD.
QString decodeGbk(QByteArrayView bytes);

// UTF-8 with U+FFFD for malformed sequences; a leading byte-order mark is dropped.
QString decodeUtf8(QByteArrayView bytes);

// GBK bytes (code page 936) for a text; a character GBK cannot hold becomes "?".
QByteArray encodeGbk(QStringView text);

// Decodes a page body by its charset label. "gb2312", "gbk" and "gb18030" use
// decodeGbk, "utf-8" uses decodeUtf8; any other label the platform knows is
// handed to it, and an unknown label yields the empty text (never a failure).
QString decodeByLabel(QByteArrayView bytes, const QString &label);

} // namespace yz
