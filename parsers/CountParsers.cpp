#include "parsers/CountParsers.h"

#include "parsers/PrefixAnchoredPattern.h"

#include <array>

namespace yz {
namespace {

// What one engine's result page is recognised by.
struct PatternSet {
    Engine engine;
    const char16_t *prefix; // the count pattern up to its lazy group
    const char16_t *suffix; // literal text the rest after the group starts with
    const char16_t *pattern; // the count pattern
    int submatch; // which group holds the count, from 0
    const char16_t *removal; // deleted from the count
    const char16_t *emptyMarker;
    std::array<const char16_t *, 2> antiRobot; // case-sensitive substrings; nullptr ends the list
};

constexpr PatternSet kPatternSets[] = {
        {Engine::Baidu,
         u"找到相关网页",
         u"篇",
         u"找到相关网页(约)?([\\s\\S]+?)篇",
         1,
         u",",
         u"抱歉，没有找到与",
         {nullptr, nullptr}},
        {Engine::Google,
         u"(约|有) <b>",
         u"</b> ",
         u"(约|有) <b>([\\s\\S]+?)<\\/b> (个|条)",
         1,
         u",",
         u"找不到和您的查询",
         {u"302 Moved", u"发送自动查询"}},
        {Engine::Yahoo,
         u"共 <strong>",
         u"</strong>",
         u"共 <strong>([\\s\\S]+?)</strong>",
         0,
         u",",
         u"没有搜索到结果",
         {nullptr, nullptr}},
        {Engine::Sogou,
         u"<!--resultbarnum:",
         u"-->",
         u"<!--resultbarnum:([\\s\\S]+?)-->",
         0,
         u",",
         u"没有找到",
         {u"搜狗为防止被某些程序恶意搜索抓取页面", nullptr}},
        {Engine::Youdao, u"共", u"条", u"共(约)?([\\s\\S]+?)条", 1, u"万", u"抱歉，没有找到", {nullptr, nullptr}},
        {Engine::Soso,
         u"搜索到约",
         u"项结果",
         u"搜索到约([\\s\\S]+?)项结果",
         0,
         u",",
         u"抱歉，找不到",
         {nullptr, nullptr}},
};

const PatternSet &patternSet(Engine engine)
{
    for (const PatternSet &set : kPatternSets)
        if (set.engine == engine)
            return set;
    return kPatternSets[0];
}

// Compiled once per engine; matching keeps no state between calls.
const PrefixAnchoredPattern &countPattern(Engine engine)
{
    static const std::array<PrefixAnchoredPattern, std::size(kPatternSets)> compiled = [] {
        auto make = [](const PatternSet &s) {
            return PrefixAnchoredPattern(QString::fromUtf16(s.prefix), QString::fromUtf16(s.suffix),
                                         QString::fromUtf16(s.pattern));
        };
        return std::array<PrefixAnchoredPattern, std::size(kPatternSets)>{make(kPatternSets[0]), make(kPatternSets[1]),
                                                                          make(kPatternSets[2]), make(kPatternSets[3]),
                                                                          make(kPatternSets[4]), make(kPatternSets[5])};
    }();
    return compiled[size_t(&patternSet(engine) - kPatternSets)];
}

} // namespace

QString scrapeCount(Engine engine, const QString &html)
{
    const PatternSet &set = patternSet(engine);
    const QRegularExpressionMatch match = countPattern(engine).match(html);
    if (match.hasMatch()) {
        QString value = match.captured(set.submatch + 1);
        value.remove(QString::fromUtf16(set.removal), Qt::CaseSensitive);
        return value;
    }
    // The marker holds no pattern characters: a case-insensitive substring
    // test is what the pattern test would do.
    if (indexOfIgnoringCase(html, QStringView(set.emptyMarker)) >= 0)
        return QStringLiteral("0");
    for (const char16_t *marker : set.antiRobot)
        if (marker && html.contains(QStringView(marker), Qt::CaseSensitive))
            return QStringLiteral("频");
    return QStringLiteral("X");
}

} // namespace yz
