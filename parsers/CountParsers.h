#pragma once

#include <QString>
#include <QStringView>

namespace yz {

// The search engines whose result pages state a count.
enum class Engine { Baidu, Google, Yahoo, Sogou, Youdao, Soso };

// The value a result page of the engine gives: the count with the engine's
// separators deleted, "0" for its empty-result page, "频" for its page
// refusing automated queries, "X" for anything else (a failed request's
// status digits included).
QString scrapeCount(Engine engine, const QString &html);

} // namespace yz
