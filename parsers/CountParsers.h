#pragma once

#include <QString>
#include <QStringView>

#include <span>

namespace yz {

// The search engines whose result pages state a count.
enum class Engine { Baidu, Google, Yahoo, Sogou, Youdao, Soso };

// A count handler: its name, and the engine whose page it reads. The cell it
// writes is its row's target in the query table.
struct CountHandler {
    const char16_t *name;
    Engine engine;
};

std::span<const CountHandler> countHandlers();

// The value a result page of the engine gives: the count with the engine's
// separators deleted, "0" for its empty-result page, "频" for its page
// refusing automated queries, "X" for anything else (a failed request's
// status digits included).
QString scrapeCount(Engine engine, const QString &html);

} // namespace yz
