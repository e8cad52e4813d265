#include "cli/CliOptions.h"

namespace yz::cli {

ParsedOptions parseCliOptions(const QStringList &arguments)
{
    ParsedOptions parsed;
    CliOptions &o = parsed.options;
    bool anyGroup = false;
    bool onlyDomains = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (onlyDomains || !arg.startsWith(u'-') || arg == u"-") {
            o.domains << arg;
            continue;
        }
        // "--name=value" and "--name value" both give a value.
        QString name = arg;
        QString value;
        bool inlineValue = false;
        if (const qsizetype eq = arg.indexOf(u'='); eq > 0 && arg.startsWith(u"--")) {
            name = arg.left(eq);
            value = arg.mid(eq + 1);
            inlineValue = true;
        }
        auto takeValue = [&]() -> bool {
            if (inlineValue)
                return true;
            if (i + 1 >= arguments.size())
                return false;
            value = arguments[++i];
            return true;
        };
        auto noValue = [&]() {
            if (inlineValue)
                parsed.error = QStringLiteral("选项 %1 不带值").arg(name);
            return !inlineValue;
        };
        if (name == u"--") {
            onlyDomains = true;
        } else if (name == u"-h" || name == u"--help") {
            o.help = noValue();
        } else if (name == u"-v" || name == u"--version") {
            o.version = noValue();
        } else if (name == u"--json") {
            o.json = noValue();
        } else if (name == u"--common") {
            anyGroup = o.groups.common = noValue();
        } else if (name == u"--rank") {
            anyGroup = o.groups.rank = noValue();
        } else if (name == u"--recent") {
            anyGroup = o.groups.recent = noValue();
        } else if (name == u"--info") {
            anyGroup = o.groups.info = noValue();
        } else if (name == u"--trend" || name == u"--endpoints") {
            if (!takeValue() || value.isEmpty()) {
                parsed.error = QStringLiteral("选项 %1 需要一个值").arg(name);
                return parsed;
            }
            (name == u"--trend" ? o.trendDir : o.endpointsFile) = value;
        } else {
            parsed.error = QStringLiteral("未知的选项：%1").arg(arg);
        }
        if (!parsed.error.isEmpty())
            return parsed;
    }
    if (!anyGroup)
        o.groups.common = o.groups.rank = o.groups.recent = o.groups.info = true;
    o.groups.trend = !o.trendDir.isEmpty();
    if (o.domains.isEmpty() && !o.help && !o.version)
        parsed.error = QStringLiteral("没有要查询的域名");
    return parsed;
}

QString usageText(const QString &programName)
{
    return QStringLiteral("用法：%1 [选项] 域名...\n"
                          "逐个查询域名的收录、外链、排名、近期收录和域名信息，输出与窗口程序相同的结果。\n"
                          "\n"
                          "选项：\n"
                          "  --common           常用查询（收录与外链）\n"
                          "  --rank             排名查询（百度快照、PR、Alexa、SogouRank）\n"
                          "  --recent           近期收录\n"
                          "  --info             域名信息（注册日期、建站日期）\n"
                          "                     不选查询组时四组都查\n"
                          "  --trend DIR        同时下载百度收录趋势图，存为 DIR/<域名>_bd1.jpg\n"
                          "  --endpoints FILE   JSON 对象：服务名 -> 基地址，替换内置的服务地址\n"
                          "  --json             每个域名输出一行 JSON\n"
                          "  -h, --help         显示本说明\n"
                          "  -v, --version      显示版本号\n"
                          "\n"
                          "退出码：0 全部查完；1 有域名未通过域名格式检查（--info）或趋势图未能保存；2 用法错误。\n")
            .arg(programName);
}

} // namespace yz::cli
