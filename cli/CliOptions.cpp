#include "cli/CliOptions.h"

#include "results/ResultStore.h"

#include <QCommandLineParser>

namespace yz::cli {
namespace {

// Every option, stated once: the parser and the checks below read this list.
const QList<CliOption> &cliOptions()
{
    static const QList<CliOption> options = {
            {{QStringLiteral("h"), QStringLiteral("help")}, false},
            {{QStringLiteral("v"), QStringLiteral("version")}, false},
            {{QStringLiteral("json")}, false},
            {{QStringLiteral("csv")}, false},
            {{QStringLiteral("detail")}, false},
            {{QStringLiteral("common")}, false},
            {{QStringLiteral("rank")}, false},
            {{QStringLiteral("recent")}, false},
            {{QStringLiteral("info")}, false},
            {{QStringLiteral("trend")}, true},
            {{QStringLiteral("endpoints")}, true},
            {{QStringLiteral("input")}, true},
            {{QStringLiteral("store")}, true},
            {{QStringLiteral("jobs")}, true},
            {{QStringLiteral("per-host")}, true},
            {{QStringLiteral("delay")}, true},
            {{QStringLiteral("give-up-after")}, true},
            {{QStringLiteral("proxy")}, true},
            {{QStringLiteral("resume")}, false},
            {{QStringLiteral("rules")}, true},
            {{QStringLiteral("print-rules")}, false},
            {{QStringLiteral("save-pages")}, true},
    };
    return options;
}

const CliOption *optionNamed(const QList<CliOption> &options, QStringView name)
{
    for (const CliOption &option : options)
        if (option.names.contains(name))
            return &option;
    return nullptr;
}

} // namespace

QString firstOptionMistake(const QStringList &arguments, const QList<CliOption> &options)
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (arg == u"--")
            break;
        if (!arg.startsWith(u'-') || arg == u"-")
            continue;
        const QString written = arg.section(u'=', 0, 0);
        const CliOption *option = optionNamed(options, QStringView(written).mid(written.startsWith(u"--") ? 2 : 1));
        if (!option)
            return QStringLiteral("未知的选项：%1").arg(arg);
        const bool inlineValue = arg.contains(u'=');
        if (!option->takesValue && inlineValue)
            return QStringLiteral("选项 %1 不带值").arg(written);
        if (option->takesValue && !inlineValue) {
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty())
                return QStringLiteral("选项 %1 需要一个值").arg(written);
            ++i;
        } else if (option->takesValue && arg.section(u'=', 1).isEmpty()) {
            return QStringLiteral("选项 %1 需要一个值").arg(written);
        }
    }
    return {};
}

bool parseWordOptions(QCommandLineParser &parser, const QList<CliOption> &options, const QStringList &arguments,
                      QString *error)
{
    *error = firstOptionMistake(arguments, options);
    if (!error->isEmpty())
        return false;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const CliOption &option : options)
        parser.addOption(option.takesValue ? QCommandLineOption(option.names, QString(), QStringLiteral("value"))
                                           : QCommandLineOption(option.names));
    // The parser wants the program's name in front.
    if (parser.parse(QStringList{QStringLiteral("yanzhou-cli")} + arguments))
        return true;
    *error = parser.errorText();
    return false;
}

namespace {

// A whole number within [low, high] given to the option, or an error.
bool readNumber(const QCommandLineParser &parser, const QString &name, int low, int high, int *value, QString *error)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    const int n = parser.value(name).toInt(&ok);
    if (!ok || n < low || n > high) {
        *error = QStringLiteral("选项 --%1 需要 %2 到 %3 之间的整数").arg(name).arg(low).arg(high);
        return false;
    }
    *value = n;
    return true;
}

} // namespace

QStringList withDefaultStore(QStringList arguments)
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == u"--")
            break;
        const bool bare = arguments[i] == u"--store"
                && (i + 1 == arguments.size() || (arguments[i + 1].startsWith(u'-') && arguments[i + 1] != u"-"));
        if (bare)
            arguments[i] = QStringLiteral("--store=") + defaultResultsFile();
    }
    return arguments;
}

ParsedOptions parseCliOptions(const QStringList &typed)
{
    const QStringList arguments = withDefaultStore(typed);
    ParsedOptions parsed;
    QCommandLineParser parser;
    if (!parseWordOptions(parser, cliOptions(), arguments, &parsed.error))
        return parsed;
    CliOptions &o = parsed.options;
    o.help = parser.isSet(QStringLiteral("help"));
    o.version = parser.isSet(QStringLiteral("version"));
    o.json = parser.isSet(QStringLiteral("json"));
    o.csv = parser.isSet(QStringLiteral("csv"));
    o.detail = parser.isSet(QStringLiteral("detail"));
    o.groups.common = parser.isSet(QStringLiteral("common"));
    o.groups.rank = parser.isSet(QStringLiteral("rank"));
    o.groups.recent = parser.isSet(QStringLiteral("recent"));
    o.groups.info = parser.isSet(QStringLiteral("info"));
    if (!o.groups.common && !o.groups.rank && !o.groups.recent && !o.groups.info)
        o.groups.common = o.groups.rank = o.groups.recent = o.groups.info = true;
    o.trendDir = parser.value(QStringLiteral("trend"));
    o.endpointsFile = parser.value(QStringLiteral("endpoints"));
    o.inputFile = parser.value(QStringLiteral("input"));
    o.storeFile = parser.value(QStringLiteral("store"));
    o.proxy = parser.value(QStringLiteral("proxy"));
    o.resume = parser.isSet(QStringLiteral("resume"));
    if (o.resume && o.storeFile.isEmpty()) {
        parsed.error = QStringLiteral("--resume 需要 --store");
        return parsed;
    }
    o.rulesFile = parser.value(QStringLiteral("rules"));
    o.printRules = parser.isSet(QStringLiteral("print-rules"));
    o.pagesDir = parser.value(QStringLiteral("save-pages"));
    if (!readNumber(parser, QStringLiteral("jobs"), 1, 256, &o.jobs, &parsed.error)
        || !readNumber(parser, QStringLiteral("per-host"), 1, 64, &o.perHost, &parsed.error)
        || !readNumber(parser, QStringLiteral("delay"), 0, 600000, &o.delayMs, &parsed.error)
        || !readNumber(parser, QStringLiteral("give-up-after"), 0, 1000, &o.giveUpAfter, &parsed.error))
        return parsed;
    o.groups.trend = !o.trendDir.isEmpty();
    o.domains = parser.positionalArguments();
    if (o.json && o.csv)
        parsed.error = QStringLiteral("--json 与 --csv 只能选一个");
    else if (o.domains.isEmpty() && o.inputFile.isEmpty() && !o.help && !o.version && !o.printRules)
        parsed.error = QStringLiteral("没有要查询的域名");
    return parsed;
}

QString usageText(const QString &programName)
{
    return QStringLiteral(
                   "用法：%1 [选项] 域名...\n"
                   "查询域名的收录、外链、排名、近期收录和域名信息，输出与窗口程序相同的结果。\n"
                   "\n"
                   "选项：\n"
                   "  --common           常用查询（收录与外链）\n"
                   "  --rank             排名查询（百度快照、PR、Alexa、SogouRank）\n"
                   "  --recent           近期收录\n"
                   "  --info             域名信息（注册日期、建站日期）\n"
                   "                     不选查询组时四组都查\n"
                   "  --input FILE       从 UTF-8 文件读取域名，每行一个或多个（空格或逗号分隔，# 开头为\n"
                   "                     注释）；- 表示标准输入。域名前的 http://、后面的路径和端口去掉，\n"
                   "                     大写转小写，中文域名转为 xn-- 形式；不是域名的报告行号和原因，不查询\n"
                   "  --trend DIR        同时下载百度收录趋势图，存为 DIR/<域名>_bd1.jpg\n"
                   "  --endpoints FILE   JSON 对象：服务名 -> 基地址，替换内置的服务地址\n"
                   "  --store [FILE]     把每个域名的查询记录（时间、查询组、每项的值和状态）追加到 SQLite\n"
                   "                     数据库 FILE；不写 FILE（放在最后或其他选项前）时用默认的结果数据库\n"
                   "                     %2（窗口的查询也存在这里）\n"
                   "  --jobs N           同时查询 N 个域名（默认 %3，1–256）\n"
                   "  --per-host K       对同一主机最多同时 K 个请求，所有域名合计（1–64）；默认为一次查询\n"
                   "                     发给该主机的请求数（至少 2），所以一个域名与窗口一样快，多个域名\n"
                   "                     也不比一次查询更密集。域名多时，速度受此限制与最慢的主机所限，\n"
                   "                     而不是 --jobs（进度行显示最慢的主机）\n"
                   "  --give-up-after K  一个主机连续拒绝 K 次（拒绝页或封锁页）后，本次不再查询它，\n"
                   "                     其余的格记为 refused（默认 3；0 表示从不放弃）\n"
                   "  --resume           与 --store 一起，用于中断后重跑：今天（本地日期）已有完整结果的域名\n"
                   "                     跳过（不输出）；有失败或被拒绝的格的域名只重查这些格，补全那次记录，\n"
                   "                     输出合并后的结果\n"
                   "  --proxy URL        经代理发出所有请求：http://[用户:密码@]主机:端口 或 socks5://…；\n"
                   "                     不写时用桌面设置与 http_proxy、https_proxy，其次 all_proxy；\n"
                   "                     no_proxy 中的主机直连。代理连不上时，各格说明是代理的问题\n"
                   "  --delay MS         同一主机两个请求之间至少间隔 MS 毫秒（默认 0）；\n"
                   "                     主机返回“频”（拒绝自动查询）时，其间隔加倍，最多 60 秒\n"
                   "  --rules FILE       用 JSON 文件替换内置的抓取规则（计数、快照、PR、Alexa、SogouRank、\n"
                   "                     注册与到期日期、首次存档日期、统计数字的模式，无结果与拒绝标记，\n"
                   "                     查询地址模板，服务的地址、编码与栏目标题）；未写的项保留内置值；\n"
                   "                     整个文件先检查，有错则不发任何请求。当今搜索引擎的规则（必应、神马、\n"
                   "                     360搜索、站点排名）：/usr/share/yanzhou/rules/current-engines.json\n"
                   "  --print-rules      以 --rules 的格式输出内置规则\n"
                   "  --json             每个域名输出一行 JSON\n"
                   "  --csv              每个域名输出一行 CSV（UTF-8，带 BOM，第一行为表头）\n"
                   "  --detail           与 --json 或 --csv 一起：每个值（含域名信息）附带其状态\n"
                   "                     （ok、none、refused、unrecognised 及原因、failed 及状态码）、\n"
                   "                     查询地址、应答字节数和用时（毫秒）\n"
                   "  --save-pages DIR   把每个应答的原始内容存入 DIR（每个域名和查询一个文件），\n"
                   "                     并写 DIR/index.json（域名、查询、地址、状态、原因、文件）\n"
                   "  -h, --help         显示本说明\n"
                   "  -v, --version      显示版本号\n"
                   "\n"
                   "重复的域名只查一次，结果按输入顺序输出。标准错误为终端时显示进度。\n"
                   "%1 history 域名 [--store FILE] [--csv|--json] [--since YYYY-MM-DD]：历次查询（本地时间）\n"
                   "    及变化；每项与它之前最近一次读到的值相比，查询失败不算值；没有记录时退出码为 1\n"
                   "%1 history --changed [--since YYYY-MM-DD] [--unreported] [--csv|--json]：按域名列出\n"
                   "    变化的指标（原值 → 新值，数字的变化百分比）与失败的查询次数；计数去掉分隔符和空白后\n"
                   "    按数字比较，日期按日期比较；没有变化也没有失败时什么都不输出。--unreported 只报告\n"
                   "    上次 --unreported 报告之后的查询（报告过的位置记在结果数据库里）\n"
                   "%1 rules check FILE|- --pages DIR：用规则文件重新读取 --save-pages 存下的页面\n"
                   "%1 rules update：取得、验证并安装服务发布的签名规则；%1 rules status：正在使用的规则与签名公钥\n"
                   "%1 rules trust PUBFILE：信任一个服务的公钥（复制到 ~/.config/yanzhou/rules-keys/）；\n"
                   "    也信任 /usr/share/yanzhou/rules-keys/ 与 /etc/yanzhou/rules-keys/ 中的 *.pub，可同时信任多个\n"
                   "规则的优先次序：--rules 文件，其次已安装的发布规则，最后内置规则。\n"
                   "退出码：0 全部查完；1 有输入不是域名、有域名未通过域名格式检查（--info）、趋势图或结果\n"
                   "未能保存、history 没有结果数据库或该域名的记录；\n"
                   "2 用法错误。\n")
            .arg(programName, defaultResultsFile())
            .arg(BatchLimits().jobs);
}

} // namespace yz::cli
