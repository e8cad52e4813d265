#include "parsers/CountParsers.h"

#include "parsers/RankRules.h"

#include "parsers/PrefixAnchoredPattern.h"

namespace yz {
namespace {

// What one engine's result page is recognised by, as built in.
struct PatternSet {
    Engine engine;
    const char16_t *prefix; // the count pattern up to its lazy group
    const char16_t *suffix; // literal text the rest after the group starts with
    const char16_t *pattern; // the count pattern
    int submatch; // which group holds the count, from 0
    const char16_t *removal; // deleted from the count
    const char16_t *emptyMarker;
    std::array<const char16_t *, 2> antiRobot; // case-sensitive substrings; nullptr ends the list
    // What a refusal page shows: "频" where the window has always said so;
    // elsewhere the value of a page of no known shape, its cause refused.
    const char16_t *refusalValue;
};

constexpr PatternSet kPatternSets[] = {
        {Engine::Baidu,
         u"找到相关网页",
         u"篇",
         u"找到相关网页(约)?([\\s\\S]+?)篇",
         1,
         u",",
         u"抱歉，没有找到与",
         // Today's verification page (also where wappass.baidu.com sends a
         // blocked client) and the older error page.
         {u"<title>百度安全验证</title>", u"百度--您的访问出错了"},
         u"X"},
        {Engine::Google,
         u"(约|有) <b>",
         u"</b> ",
         u"(约|有) <b>([\\s\\S]+?)<\\/b> (个|条)",
         1,
         u",",
         u"找不到和您的查询",
         {u"302 Moved", u"发送自动查询"},
         u"频"},
        {Engine::Yahoo,
         u"共 <strong>",
         u"</strong>",
         u"共 <strong>([\\s\\S]+?)</strong>",
         0,
         u",",
         u"没有搜索到结果",
         {nullptr, nullptr},
         u"X"},
        {Engine::Sogou,
         u"<!--resultbarnum:",
         u"-->",
         u"<!--resultbarnum:([\\s\\S]+?)-->",
         0,
         u",",
         u"没有找到",
         {u"搜狗为防止被某些程序恶意搜索抓取页面", nullptr},
         u"频"},
        {Engine::Youdao, u"共", u"条", u"共(约)?([\\s\\S]+?)条", 1, u"万", u"抱歉，没有找到", {nullptr, nullptr}, u"X"},
        {Engine::Soso,
         u"搜索到约",
         u"项结果",
         u"搜索到约([\\s\\S]+?)项结果",
         0,
         u",",
         u"抱歉，找不到",
         {nullptr, nullptr},
         u"X"},
};
static_assert(std::size(kPatternSets) == kEngineCount);

const PatternSet &patternSet(Engine engine)
{
    return kPatternSets[size_t(engine)];
}

} // namespace

CompiledCountRule CountRules::builtInEntry(Engine engine)
{
    const PatternSet &set = patternSet(engine);
    CompiledCountRule c;
    c.rule = builtInRule(engine);
    c.anchored = std::make_shared<const PrefixAnchoredPattern>(QString::fromUtf16(set.prefix),
                                                               QString::fromUtf16(set.suffix), c.rule.pattern);
    return c;
}

CountRule CountRules::builtInRule(Engine engine)
{
    const PatternSet &set = patternSet(engine);
    CountRule rule;
    rule.pattern = QString::fromUtf16(set.pattern);
    rule.group = set.submatch + 1;
    rule.removal = QString::fromUtf16(set.removal);
    rule.emptyMarker = QString::fromUtf16(set.emptyMarker);
    for (const char16_t *marker : set.antiRobot)
        if (marker)
            rule.refusalMarkers << QString::fromUtf16(marker);
    return rule;
}

bool CountRules::replace(Engine engine, const CountRule &rule, RuleFault *fault)
{
    const std::optional<QRegularExpression> plain = compilePagePattern(rule.pattern, rule.group, fault);
    if (!plain) {
        fault->field.prepend(QStringLiteral("count."));
        return false;
    }
    if (rule.emptyMarker.isEmpty()) {
        *fault = {QStringLiteral("empty"), QStringLiteral("无结果标记不能为空")};
        return false;
    }
    if (rule.refusalMarkers.contains(QString())) {
        *fault = {QStringLiteral("refusal"), QStringLiteral("拒绝标记不能为空")};
        return false;
    }
    CompiledCountRule &c = entry(engine);
    // The built-in pattern keeps its fast matcher; it finds what the whole
    // pattern finds.
    if (rule.pattern != builtIn().rule(engine).pattern)
        c.anchored.reset();
    else
        c.anchored = builtIn().entry(engine).anchored;
    c.plain = *plain;
    c.rule = rule;
    return true;
}

Scraped CountRules::scrape(Engine engine, const QString &html) const
{
    const CompiledCountRule &c = entry(engine);
    const QRegularExpressionMatch match = c.anchored ? c.anchored->match(html) : c.plain.match(html);
    if (match.hasMatch()) {
        QString value = match.captured(c.rule.group);
        if (!c.rule.removal.isEmpty())
            value.remove(c.rule.removal, Qt::CaseSensitive);
        // A count of nothing is the engine saying it found nothing.
        return value == u'0' ? Scraped::none(value) : Scraped::ok(value);
    }
    // The marker holds no pattern characters: a case-insensitive substring
    // test is what the pattern test would do.
    if (indexOfIgnoringCase(html, c.rule.emptyMarker) >= 0)
        return Scraped::none(QStringLiteral("0"));
    for (const QString &marker : c.rule.refusalMarkers)
        if (html.contains(marker, Qt::CaseSensitive))
            return Scraped::refused(QString::fromUtf16(patternSet(engine).refusalValue));
    return Scraped::unrecognised(QStringLiteral("X"), match.isValid() ? QString() : patternGaveUpReason());
}

Scraped scrapeCount(Engine engine, const QString &html)
{
    return CountRules::builtIn().scrape(engine, html);
}

} // namespace yz
