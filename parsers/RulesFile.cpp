#include "parsers/RulesFile.h"

#include "net/BoundedRead.h"
#include "net/JsonObjectText.h"
#include "parsers/ResultHandlers.h"
#include "query/QueryTable.h"
#include "services/ServiceHosts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <algorithm>
#include <optional>

namespace yz {
namespace {

// The count engine read from a service's pages, if any.
std::optional<Engine> engineOf(Service service)
{
    for (const QueryRow &row : gridQueryRows())
        if (row.service == service)
            if (const std::optional<Engine> engine = countEngine(row.scraper))
                return engine;
    return std::nullopt;
}

// The rank value read from a service's pages, if any, and its key: the
// PageRank comes from the vendor's service, the snapshot date from Baidu.
struct RankEntry {
    QString key;
    RankValue value;
};
std::optional<RankEntry> rankEntryOf(Service service)
{
    switch (service) {
    case Service::Vendor:
        return RankEntry{QStringLiteral("rank"), RankValue::PageRank};
    case Service::Alexa:
        return RankEntry{QStringLiteral("rank"), RankValue::Alexa};
    case Service::Sogou:
        return RankEntry{QStringLiteral("rank"), RankValue::SogouRank};
    case Service::Baidu:
        return RankEntry{QStringLiteral("snapshot"), RankValue::Snapshot};
    default:
        return std::nullopt;
    }
}

// The dates read from a service's pages, each with its key.
struct DateEntry {
    const char16_t *key;
    DateValue value;
};
QList<DateEntry> datesOf(Service service)
{
    if (service == Service::Whois)
        return {{u"registered", DateValue::WhoisRegistered}, {u"expires", DateValue::WhoisExpires}};
    if (service == Service::Archive)
        return {{u"firstDate", DateValue::FirstArchive}};
    return {};
}

// The statistics provider whose report a service serves, if any.
std::optional<StatisticsProvider> statisticsOf(Service service)
{
    if (service == Service::Cnzz)
        return StatisticsProvider::Cnzz;
    if (service == Service::La51)
        return StatisticsProvider::La51;
    return std::nullopt;
}

// The four numbers of the statistics line, each with its key.
struct PickEntry {
    const char16_t *key;
    StatisticsPick StatisticsRule::*pick;
};
constexpr PickEntry kPicks[] = {{u"todayIp", &StatisticsRule::todayIp},
                                {u"todayPv", &StatisticsRule::todayPv},
                                {u"yesterdayIp", &StatisticsRule::yesterdayIp},
                                {u"yesterdayPv", &StatisticsRule::yesterdayPv}};

// Whether a heading of the grids names the service.
bool headsAColumn(Service service)
{
    return !ResultSheet::builtInLabel(service).isEmpty();
}

constexpr const char16_t *kCharsets[] = {u"utf-8", u"gbk", u"gb2312", u"gb18030", u"auto"};

const QueryRow *rowOf(Service service, const QString &handler)
{
    const QueryRow *row = findQueryRow(handler);
    return row && row->service == service ? row : nullptr;
}

// The keys of the rule entries, each stated once for reading and writing.
const QString kPattern = QStringLiteral("pattern");
const QString kGroup = QStringLiteral("group");
const QString kRemove = QStringLiteral("remove");
const QString kCount = QStringLiteral("count");
const QString kEmpty = QStringLiteral("empty");
const QString kRefusal = QStringLiteral("refusal");
const QString kOrder = QStringLiteral("order");
const QString kNumbers = QStringLiteral("numbers");
const QString kWrongPassword = QStringLiteral("wrongPassword");

// The rules file's codec: each kind of rule is read (over the rule it
// replaces) and written by the pair of functions beside each other here,
// so that --print-rules writes exactly what reading takes. Reading checks
// one entry, building the error text with the entry's path.
class Codec {
public:
    QString error;

    bool fail(const QString &path, const QString &why)
    {
        error = path + QStringLiteral("：") + why;
        return false;
    }

    bool onlyKnownKeys(const QJsonObject &o, const QString &path, const QStringList &known)
    {
        for (auto it = o.begin(); it != o.end(); ++it)
            if (!known.contains(it.key()))
                return fail(path + u'.' + it.key(), QStringLiteral("未知的项（可用：%1）").arg(known.join(u", ")));
        return true;
    }

    bool text(const QJsonValue &v, const QString &path, QString *out)
    {
        if (!v.isString())
            return fail(path, QStringLiteral("应是字符串"));
        *out = v.toString();
        return true;
    }

    // A pattern with its group and removal: {"pattern", "group", "remove"}.
    // Each field left out keeps the value it had: a new pattern alone keeps
    // the group and the removal.
    bool patternRule(const QJsonValue &v, const QString &path, QString &pattern, int &group, QString &removal)
    {
        if (!v.isObject())
            return fail(path, QStringLiteral("应是对象：{\"pattern\": …, \"group\": …, \"remove\": …}"));
        const QJsonObject o = v.toObject();
        if (!onlyKnownKeys(o, path, {kPattern, kGroup, kRemove}))
            return false;
        if (o.contains(kPattern) && !text(o.value(kPattern), path + u'.' + kPattern, &pattern))
            return false;
        if (o.contains(kGroup) && !integer(o.value(kGroup), path + u'.' + kGroup, &group))
            return false;
        return !o.contains(kRemove) || text(o.value(kRemove), path + u'.' + kRemove, &removal);
    }
    static QJsonObject patternRuleJson(const QString &pattern, int group, const QString &removal)
    {
        return {{kPattern, pattern}, {kGroup, group}, {kRemove, removal}};
    }

    // Puts a rule read at `path` in its set; a refusal names the field at
    // fault under `path`.
    template <typename Rules, typename Kind, typename Rule>
    bool take(Rules &rules, Kind kind, const Rule &rule, const QString &path)
    {
        RuleFault fault;
        return rules.replace(kind, rule, &fault)
                || fail(fault.field.isEmpty() ? path : path + u'.' + fault.field, fault.reason);
    }

    bool rank(const QJsonValue &v, const QString &path, RankValue which, RankRules &ranks)
    {
        RankRule rule = ranks.rule(which);
        return patternRule(v, path, rule.pattern, rule.group, rule.removal) && take(ranks, which, rule, path);
    }
    static QJsonObject rankJson(const RankRule &rule)
    {
        return patternRuleJson(rule.pattern, rule.group, rule.removal);
    }

    bool integer(const QJsonValue &v, const QString &path, int *out)
    {
        if (!v.isDouble() || v.toDouble() != double(v.toInt()))
            return fail(path, QStringLiteral("应是整数"));
        *out = v.toInt();
        return true;
    }

    // A date: {"pattern", "order"}, each field left out keeping its value.
    bool date(const QJsonValue &v, const QString &path, DateValue which, DateRules &dates)
    {
        if (!v.isObject())
            return fail(path, QStringLiteral("应是对象：{\"pattern\": …, \"order\": …}"));
        const QJsonObject o = v.toObject();
        if (!onlyKnownKeys(o, path, {kPattern, kOrder}))
            return false;
        DateRule rule = dates.rule(which);
        if (o.contains(kPattern) && !text(o.value(kPattern), path + u'.' + kPattern, &rule.pattern))
            return false;
        if (o.contains(kOrder)) {
            QString name;
            if (!text(o.value(kOrder), path + u'.' + kOrder, &name))
                return false;
            const std::optional<DateOrder> order = dateOrderNamed(name);
            if (!order)
                return fail(path + u'.' + kOrder, QStringLiteral("应是 auto、ymd、dmy 或 mdy"));
            rule.order = *order;
        }
        return take(dates, which, rule, path);
    }
    static QJsonObject dateJson(const DateRule &rule)
    {
        return {{kPattern, rule.pattern}, {kOrder, dateOrderName(rule.order)}};
    }

    // The statistics line's numbers: {"pattern", "todayIp": [match, group], …}.
    bool numbers(const QJsonValue &v, const QString &path, StatisticsRule &rule)
    {
        if (!v.isObject())
            return fail(path, QStringLiteral("应是对象：{\"pattern\": …, \"todayIp\": [第几次匹配, 捕获组], …}"));
        const QJsonObject o = v.toObject();
        QStringList known = {kPattern};
        for (const PickEntry &p : kPicks)
            known << QString::fromUtf16(p.key);
        if (!onlyKnownKeys(o, path, known))
            return false;
        if (o.contains(kPattern) && !text(o.value(kPattern), path + u'.' + kPattern, &rule.pattern))
            return false;
        for (const PickEntry &p : kPicks) {
            const QString key = QString::fromUtf16(p.key);
            if (!o.contains(key))
                continue;
            const QJsonValue pick = o.value(key);
            const QString at = path + u'.' + key;
            if (!pick.isArray() || pick.toArray().size() != 2)
                return fail(at, QStringLiteral("应是 [第几次匹配, 捕获组]"));
            if (!integer(pick.toArray().at(0), at + QStringLiteral("[0]"), &(rule.*p.pick).match)
                || !integer(pick.toArray().at(1), at + QStringLiteral("[1]"), &(rule.*p.pick).group))
                return false;
        }
        return true;
    }

    bool statistics(const QJsonObject &o, const QString &name, StatisticsProvider provider, StatisticsRules &rules)
    {
        StatisticsRule rule = rules.rule(provider);
        if (o.contains(kNumbers) && !numbers(o.value(kNumbers), name + u'.' + kNumbers, rule))
            return false;
        if (o.contains(kWrongPassword)
            && !text(o.value(kWrongPassword), name + u'.' + kWrongPassword, &rule.wrongPassword))
            return false;
        return take(rules, provider, rule, name);
    }
    static void writeStatistics(const StatisticsRule &rule, QJsonObject &service)
    {
        QJsonObject numbers{{kPattern, rule.pattern}};
        for (const PickEntry &p : kPicks)
            numbers.insert(QString::fromUtf16(p.key), QJsonArray{(rule.*p.pick).match, (rule.*p.pick).group});
        service.insert(kNumbers, numbers);
        service.insert(kWrongPassword, rule.wrongPassword);
    }

    // An engine's count rule: "count" {pattern, group, remove}, "empty"
    // and "refusal", each left out keeping its value.
    bool count(const QJsonObject &o, const QString &name, Engine engine, CountRules &counts)
    {
        CountRule rule = counts.rule(engine);
        if (o.contains(kCount)
            && !patternRule(o.value(kCount), name + u'.' + kCount, rule.pattern, rule.group, rule.removal))
            return false;
        if (o.contains(kEmpty) && !text(o.value(kEmpty), name + u'.' + kEmpty, &rule.emptyMarker))
            return false;
        if (o.contains(kRefusal) && !markers(o.value(kRefusal), name + u'.' + kRefusal, &rule.refusalMarkers))
            return false;
        return take(counts, engine, rule, name);
    }
    static void writeCount(const CountRule &rule, QJsonObject &service)
    {
        service.insert(kCount, patternRuleJson(rule.pattern, rule.group, rule.removal));
        service.insert(kEmpty, rule.emptyMarker);
        service.insert(kRefusal, QJsonArray::fromStringList(rule.refusalMarkers));
    }

    bool markers(const QJsonValue &v, const QString &path, QStringList *out)
    {
        if (!v.isArray())
            return fail(path, QStringLiteral("应是字符串数组"));
        out->clear();
        const QJsonArray a = v.toArray();
        for (qsizetype i = 0; i < a.size(); ++i) {
            QString marker;
            if (!text(a.at(i), QStringLiteral("%1[%2]").arg(path).arg(i), &marker))
                return false;
            out->append(marker);
        }
        return true;
    }

    bool addresses(const QJsonValue &v, const QString &path, Service service, QHash<QString, QString> &out)
    {
        if (!v.isObject())
            return fail(path, QStringLiteral("应是对象：{\"查询名\": \"{base}…{domain}…\"}"));
        const QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it) {
            const QString entry = path + u'.' + it.key();
            if (!rowOf(service, it.key()))
                return fail(entry, QStringLiteral("不是这个服务的查询"));
            QString pattern;
            if (!text(it.value(), entry, &pattern))
                return false;
            if (!pattern.contains(QStringView(kDomainPlaceholder)))
                return fail(entry, QStringLiteral("地址模板缺少 {domain}"));
            const QUrl sample(fillAddressTemplate(pattern, QStringLiteral("http://127.0.0.1"),
                                                  QStringLiteral("example.com")),
                              QUrl::TolerantMode);
            if (!sample.isValid() || sample.host().isEmpty()
                || (sample.scheme() != u"http" && sample.scheme() != u"https"))
                return fail(entry, QStringLiteral("地址模板构不成 http(s) 地址"));
            out.insert(it.key(), pattern);
        }
        return true;
    }

    // A heading: short, printable, without the "/" of the stored cell keys.
    bool label(const QJsonValue &v, const QString &path, QString *out)
    {
        constexpr qsizetype kMaxLabel = 16;
        if (!text(v, path, out))
            return false;
        const bool printable = std::all_of(out->cbegin(), out->cend(), [](QChar c) { return c.isPrint(); });
        if (out->trimmed().isEmpty() || out->size() > kMaxLabel || !printable || out->contains(u'/'))
            return fail(path, QStringLiteral("应是 1 到 %1 个可显示的字符，不含 /").arg(kMaxLabel));
        return true;
    }

    bool base(const QJsonValue &v, const QString &path, Service service, QString *out)
    {
        QString given;
        if (!text(v, path, &given))
            return false;
        if (const std::optional<Service> other = ServiceHosts::serviceNamed(given); other && *other != service) {
            *out = given;
            return true;
        }
        if (const std::optional<QString> plain = ServiceHosts::plainBase(given)) {
            *out = *plain;
            return true;
        }
        return fail(path, QStringLiteral("应是 http(s)://主机[:端口] 或另一个服务的名字"));
    }

    bool charset(const QJsonValue &v, const QString &path, QString *out)
    {
        if (!text(v, path, out))
            return false;
        QStringList known;
        for (const char16_t *c : kCharsets)
            known << QString::fromUtf16(c);
        return known.contains(*out) || fail(path, QStringLiteral("应是 %1 之一").arg(known.join(u", ")));
    }

    bool serviceItself(const QJsonObject &o, const QString &name, Service service, ScrapeRules &rules)
    {
        const size_t s = size_t(service);
        const auto has = [&o](const char *key) { return o.contains(QLatin1String(key)); };
        return (!has("label")
                || label(o.value(QStringLiteral("label")), name + QStringLiteral(".label"), &rules.labels[s]))
                && (!has("base")
                    || base(o.value(QStringLiteral("base")), name + QStringLiteral(".base"), service, &rules.bases[s]))
                && (!has("charset")
                    || charset(o.value(QStringLiteral("charset")), name + QStringLiteral(".charset"),
                               &rules.charsets[s]));
    }

    bool service(const QJsonValue &v, const QString &name, Service service, ScrapeRules &rules)
    {
        if (!v.isObject())
            return fail(name, QStringLiteral("应是对象"));
        const QJsonObject o = v.toObject();
        const std::optional<Engine> engine = engineOf(service);
        const std::optional<RankEntry> rankEntry = rankEntryOf(service);
        QStringList known = {QStringLiteral("addresses"), QStringLiteral("base"), QStringLiteral("charset")};
        if (headsAColumn(service))
            known << QStringLiteral("label");
        if (engine)
            known << kCount << kEmpty << kRefusal;
        if (rankEntry)
            known << rankEntry->key;
        const QList<DateEntry> dates = datesOf(service);
        for (const DateEntry &d : dates)
            known << QString::fromUtf16(d.key);
        const std::optional<StatisticsProvider> provider = statisticsOf(service);
        if (provider)
            known << kNumbers << kWrongPassword;
        if (!onlyKnownKeys(o, name, known) || !serviceItself(o, name, service, rules))
            return false;
        for (const DateEntry &d : dates) {
            const QString key = QString::fromUtf16(d.key);
            if (o.contains(key) && !date(o.value(key), name + u'.' + key, d.value, rules.dates))
                return false;
        }
        if (provider && !statistics(o, name, *provider, rules.statistics))
            return false;
        if (o.contains(QStringLiteral("addresses"))
            && !addresses(o.value(QStringLiteral("addresses")), name + QStringLiteral(".addresses"), service,
                          rules.addresses))
            return false;
        if (rankEntry && o.contains(rankEntry->key)
            && !rank(o.value(rankEntry->key), name + u'.' + rankEntry->key, rankEntry->value, rules.ranks))
            return false;
        return !engine || count(o, name, *engine, rules.counts);
    }
};

} // namespace

const ScrapeRules &ScrapeRules::builtIn()
{
    static const ScrapeRules rules;
    return rules;
}

bool applyRules(const QByteArray &json, ScrapeRules &rules, QString *error)
{
    QJsonObject object;
    if (!parseJsonObject(json, QString(), QStringLiteral("{\"服务名\": {…}}"), &object, error))
        return false;
    ScrapeRules changed = rules;
    Codec reader;
    for (auto it = object.begin(); it != object.end(); ++it) {
        const std::optional<Service> service = ServiceHosts::serviceNamed(it.key());
        if (!service) {
            *error = QStringLiteral("%1：未知的服务（可用的服务：%2）")
                             .arg(it.key(), ServiceHosts::serviceNames().join(u", "));
            return false;
        }
        if (!reader.service(it.value(), it.key(), *service, changed)) {
            *error = reader.error;
            return false;
        }
    }
    // Two columns under one heading would be one key in the CSV and the JSON.
    ResultSheet sheet;
    sheet.setLabels(changed.labels);
    for (int g = 0; g < kGridCount; ++g) {
        const Grid grid = Grid(g);
        const GridShape shape = ResultSheet::shape(grid);
        QStringList columns, rows;
        for (int c = 1; c < shape.cols; ++c)
            columns << sheet.cell(grid, 0, c);
        for (int r = 1; r < shape.rows; ++r)
            rows << sheet.cell(grid, r, 0);
        for (QStringList headings : {columns, rows})
            if (headings.removeDuplicates() > 0) {
                *error = QStringLiteral("label：%1 的两个标题相同（%2）")
                                 .arg(ResultSheet::gridName(grid), headings.join(u", "));
                return false;
            }
    }
    rules = changed;
    return true;
}

bool applyRulesFile(const QString &path, ScrapeRules &rules, QString *error)
{
    // The built-in rules take a few kilobytes; a far larger file is a mistake.
    constexpr qint64 kMaxSize = 1024 * 1024;
    QByteArray bytes;
    if (!readSmallFile(path, kMaxSize, QStringLiteral("规则文件"), &bytes, error))
        return false;
    QString why;
    if (!applyRules(bytes, rules, &why)) {
        *error = QStringLiteral("规则文件 %1：%2").arg(path, why);
        return false;
    }
    return true;
}

QByteArray builtInRulesJson()
{
    QJsonObject all;
    const ServiceHosts builtInHosts;
    for (int s = 0; s < kServiceCount; ++s) {
        const Service service = Service(s);
        QJsonObject entry;
        if (headsAColumn(service))
            entry.insert(QStringLiteral("label"), ResultSheet::builtInLabel(service));
        if (const QString base = builtInHosts.base(service); !base.isEmpty())
            entry.insert(QStringLiteral("base"), base);
        if (const std::optional<Engine> engine = engineOf(service))
            Codec::writeCount(CountRules::builtInRule(*engine), entry);
        if (const std::optional<RankEntry> rankEntry = rankEntryOf(service))
            entry.insert(rankEntry->key, Codec::rankJson(RankRules::builtInRule(rankEntry->value)));
        for (const DateEntry &d : datesOf(service))
            entry.insert(QString::fromUtf16(d.key), Codec::dateJson(DateRules::builtInRule(d.value)));
        if (const std::optional<StatisticsProvider> provider = statisticsOf(service))
            Codec::writeStatistics(StatisticsRules::builtInRule(*provider), entry);
        QJsonObject addresses;
        for (const auto rows : allQueryRows())
            for (const QueryRow &row : rows)
                if (row.service == service)
                    addresses.insert(QString::fromUtf16(row.handler), addressTemplate(row));
        if (!addresses.isEmpty())
            entry.insert(QStringLiteral("addresses"), addresses);
        if (!entry.isEmpty())
            all.insert(ServiceHosts::serviceName(service), entry);
    }
    return QJsonDocument(all).toJson(QJsonDocument::Indented);
}

} // namespace yz
