#include "server/Pages.h"

#include "server/DomainName.h"

#include <QLocale>
#include <QUrl>

namespace yz::server {
namespace {

// Rows of history shown on a domain's page, newest first.
constexpr qsizetype kHistoryRows = 100;

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
    body += QStringLiteral("<p><img src=\"/yzclientthumb/%1_bd1.jpg\" width=\"165\" height=\"97\" alt=\"%2 "
                           "的百度收录趋势\"></p>\n")
                    .arg(pathPart(data.host), htmlEscape(shown));
    if (!data.tracked)
        body += QStringLiteral("<p><a href=\"/adddomain?domain=%1\">登记此域名</a>，每天记录它的百度收录数。</p>\n")
                        .arg(pathPart(data.host));
    body += QStringLiteral("<h2>百度收录记录</h2>\n");
    if (data.history.isEmpty()) {
        body += QStringLiteral("<p>暂无数据。</p>\n");
    } else {
        body += QStringLiteral("<table>\n<thead><tr><th>日期</th><th>收录</th></tr></thead>\n<tbody>\n");
        const qsizetype shownRows = std::min(kHistoryRows, data.history.size());
        for (qsizetype i = 0; i < shownRows; ++i) {
            const HistoryPoint &p = data.history[data.history.size() - 1 - i];
            body += QStringLiteral("<tr><td>%1</td><td>%2</td></tr>\n")
                            .arg(p.day.toString(Qt::ISODate), numberText(p.count));
        }
        body += QStringLiteral("</tbody>\n</table>\n");
        if (data.history.size() > shownRows)
            body += QStringLiteral("<p>共 %1 条记录，显示最近 %2 条。</p>\n").arg(data.history.size()).arg(shownRows);
    }
    return page(shown + QStringLiteral(" - 砚舟站长工具"), body).toUtf8();
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
            "img{border:1px solid #ccc}\n");
}

} // namespace yz::server
