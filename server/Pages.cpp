#include "server/Pages.h"

#include "server/DomainName.h"
#include "server/HistoryChart.h"

#include <QLocale>
#include <QUrl>

namespace yz::server {
namespace {

// Rows of history on one page of a domain's table, newest first.
constexpr qsizetype kHistoryRows = 30;

// The lookup box: a plain form that leads to the domain's page.
QString lookupForm(const QString &typed)
{
    return QStringLiteral("<form method=\"get\" action=\"/lookup\" class=\"lookup\">\n"
                          "<label for=\"lookup\">域名</label>\n"
                          "<input id=\"lookup\" name=\"domain\" maxlength=\"253\" value=\"%1\" "
                          "placeholder=\"www.example.com\" required>\n"
                          "<button type=\"submit\">查询</button>\n</form>\n")
            .arg(htmlEscape(typed));
}

// When a registered domain's first count is due, in words.
QString dueText(const QString &nextDue)
{
    if (nextDue.isEmpty() || nextDue == QLatin1String("now"))
        return QStringLiteral("服务的下一轮收集（几分钟之内；当天额度用完则顺延到次日）");
    const QDate day = QDate::fromString(nextDue, Qt::ISODate);
    if (day.isValid())
        return day.toString(Qt::ISODate) + QStringLiteral("（UTC）");
    const QDateTime time = QDateTime::fromString(nextDue, Qt::ISODateWithMs);
    return time.isValid() ? time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm")) + QStringLiteral(" UTC")
                          : htmlEscape(nextDue);
}

QString page(const QString &title, const QString &body)
{
    return QStringLiteral("<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
                          "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                          "<title>%1</title>\n<link rel=\"stylesheet\" href=\"/style.css\">\n</head>\n<body>\n"
                          "<header><a href=\"/\">砚舟站长工具</a></header>\n<main>\n%2</main>\n"
                          "<footer>砚舟站长工具 · <a href=\"/?update\">下载</a> · "
                          "<a href=\"/adddomain\">登记域名</a></footer>\n</body>\n</html>\n")
            .arg(htmlEscape(title), body);
}

QString pathPart(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

QString numberText(qint64 n)
{
    QLocale grouped(QLocale::C);
    grouped.setNumberOptions({}); // with the thousands separator
    return grouped.toString(n);
}

} // namespace

QString htmlEscape(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&':
            out += QLatin1String("&amp;");
            break;
        case u'<':
            out += QLatin1String("&lt;");
            break;
        case u'>':
            out += QLatin1String("&gt;");
            break;
        case u'"':
            out += QLatin1String("&quot;");
            break;
        case u'\'':
            out += QLatin1String("&#39;");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QByteArray homePage(int version, const QList<NewsItem> &news)
{
    QString body = QStringLiteral(
            "<h1>砚舟站长工具</h1>\n"
            "<p>输入一个域名，按下“查询”，砚舟站长工具同时询问各大搜索引擎、排名服务、whois 和网页存档："
            "百度、谷歌、雅虎、搜狗、有道、搜搜的收录与外链，百度快照、PR、Alexa 和 SogouRank，"
            "一天、一周、一个月内的新收录，域名注册与首次存档日期，百度收录趋势图，以及您自己网站的访问统计。"
            "附带命令行版 <code>yanzhou-cli</code>，供脚本使用。</p>\n");
    body += QStringLiteral(
                    "<p class=\"version\">最新版本：<strong>%1</strong> · <a href=\"/?update\">下载页面</a></p>\n")
                    .arg(version);
    body += lookupForm(QString());
    body += QStringLiteral("<h2>新闻</h2>\n");
    if (news.isEmpty()) {
        body += QStringLiteral("<p>暂无新闻。</p>\n");
    } else {
        body += QStringLiteral("<ul class=\"news\">\n");
        for (const NewsItem &item : news)
            body += QStringLiteral("<li><a href=\"%1\" rel=\"nofollow noopener\">%2</a></li>\n")
                            .arg(htmlEscape(item.address), htmlEscape(item.title));
        body += QStringLiteral("</ul>\n");
    }
    body += QStringLiteral("<p><a href=\"/adddomain\">登记一个域名</a>，每天记录它的百度收录数，画出收录趋势。</p>\n");
    return page(QStringLiteral("砚舟站长工具"), body).toUtf8();
}

QByteArray registerPage(const QString &typed, const QString &message, bool registered)
{
    QString body = QStringLiteral("<h1>登记域名</h1>\n<p>登记后，服务每天记录该域名的百度收录数，"
                                  "收录趋势图和域名页面由此而来。</p>\n");
    if (!message.isEmpty())
        body += QStringLiteral("<p class=\"%1\">%2</p>\n")
                        .arg(registered ? QStringLiteral("ok") : QStringLiteral("error"), htmlEscape(message));
    body += QStringLiteral("<form method=\"post\" action=\"/adddomain\">\n"
                           "<label for=\"domain\">域名</label>\n"
                           "<input id=\"domain\" name=\"domain\" maxlength=\"253\" value=\"%1\" required>\n"
                           "<button type=\"submit\">登记</button>\n</form>\n")
                    .arg(htmlEscape(typed));
    return page(QStringLiteral("登记域名 - 砚舟站长工具"), body).toUtf8();
}

QByteArray updatePage(int version, const QString &packageFile)
{
    QString body = QStringLiteral("<h1>下载砚舟站长工具</h1>\n<p>最新版本：<strong>%1</strong></p>\n").arg(version);
    if (packageFile.isEmpty()) {
        body += QStringLiteral("<p>暂无可下载的安装包。</p>\n");
    } else {
        body += QStringLiteral("<p><a class=\"download\" href=\"/download/%1\">%2</a>（Debian 12 安装包）</p>\n"
                               "<p>安装：<code>sudo apt install ./%2</code></p>\n")
                        .arg(pathPart(packageFile), htmlEscape(packageFile));
    }
    return page(QStringLiteral("下载 - 砚舟站长工具"), body).toUtf8();
}

QByteArray domainPage(const DomainPageData &data)
{
    const QString shown = displayHost(data.host);
    QString body = QStringLiteral("<h1>%1</h1>\n").arg(htmlEscape(shown));
    body += QStringLiteral("<p>PR：<strong>%1</strong>（0–10）</p>\n").arg(data.rank);
    body += QStringLiteral("<p><img class=\"chart\" src=\"/chart/%1.png\" width=\"%2\" height=\"%3\" alt=\"%4 "
                           "的百度收录趋势\"></p>\n")
                    .arg(pathPart(data.host))
                    .arg(kHistoryChartWidth)
                    .arg(kHistoryChartHeight)
                    .arg(htmlEscape(shown));
    if (!data.tracked)
        body += QStringLiteral("<p><a href=\"/adddomain?domain=%1\">登记此域名</a>，每天记录它的百度收录数。</p>\n")
                        .arg(pathPart(data.host));
    else if (data.history.isEmpty())
        body += QStringLiteral("<p>已登记。第一次记录：%1。</p>\n").arg(dueText(data.nextDue));
    body += QStringLiteral("<h2>百度收录记录</h2>\n");
    if (data.history.isEmpty()) {
        body += QStringLiteral("<p>暂无数据。</p>\n");
        return page(shown + QStringLiteral(" - 砚舟站长工具"), body).toUtf8();
    }
    const qsizetype pages = (data.history.size() + kHistoryRows - 1) / kHistoryRows;
    const qsizetype current = std::clamp<qsizetype>(data.page, 1, pages);
    const qsizetype first = (current - 1) * kHistoryRows; // counted from the newest
    const qsizetype last = std::min(data.history.size(), first + kHistoryRows);
    body += QStringLiteral("<table>\n<thead><tr><th>日期</th><th>收录</th></tr></thead>\n<tbody>\n");
    for (qsizetype i = first; i < last; ++i) {
        const HistoryPoint &p = data.history[data.history.size() - 1 - i];
        body += QStringLiteral("<tr><td>%1</td><td>%2</td></tr>\n")
                        .arg(p.day.toString(Qt::ISODate), numberText(p.count));
    }
    body += QStringLiteral("</tbody>\n</table>\n");
    if (pages > 1) {
        const QString self = QStringLiteral("/") + pathPart(data.host) + QStringLiteral("?page=");
        body += QStringLiteral("<p class=\"pages\">");
        if (current > 1)
            body += QStringLiteral("<a href=\"%1%2\" rel=\"prev\">← 较新</a> ").arg(self).arg(current - 1);
        body += QStringLiteral("第 %1 / %2 页，共 %3 条").arg(current).arg(pages).arg(data.history.size());
        if (current < pages)
            body += QStringLiteral(" <a href=\"%1%2\" rel=\"next\">较早 →</a>").arg(self).arg(current + 1);
        body += QStringLiteral("</p>\n");
    }
    return page(shown + QStringLiteral(" - 砚舟站长工具"), body).toUtf8();
}

QByteArray lookupFailedPage(const QString &typed)
{
    return page(QStringLiteral("查询 - 砚舟站长工具"),
                QStringLiteral("<h1>查询</h1>\n<p class=\"error\">这不是一个有效的域名。</p>\n") + lookupForm(typed))
            .toUtf8();
}

QByteArray notFoundPage()
{
    return page(QStringLiteral("找不到页面 - 砚舟站长工具"),
                QStringLiteral("<h1>找不到页面</h1>\n<p>没有这个页面。<a href=\"/\">回到首页</a></p>\n"))
            .toUtf8();
}

QByteArray styleSheet()
{
    return QByteArrayLiteral(
            "body{font-family:\"WenQuanYi Zen Hei\",\"Noto Sans CJK SC\",sans-serif;max-width:46em;margin:0 auto;"
            "padding:0 1em;color:#222;line-height:1.6}\n"
            "header{padding:.8em 0;border-bottom:2px solid #1f5fbf}header a{font-weight:bold;color:#1f5fbf;"
            "text-decoration:none;font-size:1.2em}\n"
            "footer{margin-top:2em;padding:.8em 0;border-top:1px solid #ccc;color:#666;font-size:.9em}\n"
            "a{color:#1f5fbf}h1{font-size:1.5em}h2{font-size:1.15em;margin-top:1.5em}\n"
            "table{border-collapse:collapse}td,th{border:1px solid #ccc;padding:.2em .8em;text-align:right}\n"
            "th{background:#eef3fb}.error{color:#b00020}.ok{color:#1b7f2a}\n"
            "input{font-size:1em;padding:.2em;width:20em}button{font-size:1em;padding:.2em 1em}\n"
            "img{border:1px solid #ccc}img.chart{max-width:100%;height:auto}\n"
            "form.lookup{margin:1em 0}.pages{color:#666}\n");
}

} // namespace yz::server
