#include "tests/support/SamplePages.h"

#include <QStringEncoder>

namespace yztest {

QByteArray gbk(const QString &text)
{
    // Test pages only use characters GB2312 holds; ICU's encoder suffices here.
    QStringEncoder encoder("GB18030");
    return encoder.encode(text);
}

QString realisticPage(const QString &marker)
{
    QString rows;
    for (int i = 0; i < 150; ++i)
        rows += QStringLiteral("<tr><td class=\"f\"><a href=\"http://site%1.com/\">站点 %1 共 %1,000 字</a>"
                               "<br><span>site%1.com/ %1K 2009-%2-1</span></td></tr>\n")
                        .arg(i)
                        .arg(i % 12 + 1);
    return QStringLiteral("<!DOCTYPE html><html><head><title>结果</title></head><body><table>\n") + rows
            + QStringLiteral("<div id=\"stat\">") + marker + QStringLiteral("</div>\n") + rows
            + QStringLiteral("</table></body></html>\n");
}

FakeResponse ok(const QByteArray &body)
{
    FakeResponse r;
    r.body = body;
    return r;
}

QByteArray sampleTrendPicture()
{
    static const char bytes[] = "\xFF\xD8\xFF\xE0 not really a JPEG, but bytes to keep \xFF\xD9";
    return QByteArray(bytes, sizeof bytes - 1);
}

void serveSamplePages(FakeServices &services)
{
    // tb1 收录 1230000 12300 9876 5678 25 3456; 外链 0 频 55 频 12,345 NaN
    // tb2 2010-3-9 7 1234567 56; tb3 Baidu 12 345 6789, Google 3 0 4444
    services[yz::Service::Baidu].setScript([](const RecordedRequest &req) {
        if (req.target.startsWith("/s?wd=site:"))
            return ok(gbk(realisticPage(QStringLiteral("找到相关网页约1,230,000篇"))));
        if (req.target.startsWith("/s?wd=domain:"))
            return ok(gbk(realisticPage(QStringLiteral("抱歉，没有找到与相关的网页"))));
        if (req.target.contains("lm=1&"))
            return ok(gbk(realisticPage(QStringLiteral("找到相关网页12篇"))));
        if (req.target.contains("lm=7&"))
            return ok(gbk(realisticPage(QStringLiteral("找到相关网页约345篇"))));
        if (req.target.contains("lm=30&"))
            return ok(gbk(realisticPage(QStringLiteral("找到相关网页约6,789篇"))));
        return ok(gbk(realisticPage(QStringLiteral("<b>example.com/ 15K 2010-3-9</b>"))));
    });
    services[yz::Service::Google].setScript([](const RecordedRequest &req) {
        const QByteArray utf8Meta = "<meta http-equiv=\"content-type\" content=\"text/html; charset=UTF-8\">";
        if (req.target.startsWith("/search?q=site:"))
            return ok(utf8Meta + realisticPage(QStringLiteral("约 <b>12,300</b> 条")).toUtf8());
        if (req.target.startsWith("/search?q=link:"))
            return ok(gbk(realisticPage(QStringLiteral("您的计算机网络正在发送自动查询"))));
        if (req.target.endsWith("qdr:d"))
            return ok(gbk(realisticPage(QStringLiteral("有 <b>3</b> 个"))));
        if (req.target.endsWith("qdr:w"))
            return ok(utf8Meta + realisticPage(QStringLiteral("找不到和您的查询")).toUtf8());
        return ok(utf8Meta + realisticPage(QStringLiteral("约 <b>4,444</b> 条")).toUtf8());
    });
    services[yz::Service::Yahoo].setScript([](const RecordedRequest &req) {
        return ok(realisticPage(req.target.endsWith("bwm=i") ? QStringLiteral("共 <strong>55</strong>")
                                                             : QStringLiteral("共 <strong>9,876</strong>"))
                          .toUtf8());
    });
    services[yz::Service::Sogou].setScript([](const RecordedRequest &req) {
        if (req.target.startsWith("/web?query=site:"))
            return ok(gbk(realisticPage(QStringLiteral("<!--resultbarnum:5,678-->"))));
        if (req.target.startsWith("/web?query=%22"))
            return ok(gbk(realisticPage(QStringLiteral("搜狗为防止被某些程序恶意搜索抓取页面"))));
        return ok(gbk(realisticPage(QStringLiteral("SogouRank:56/100"))));
    });
    services[yz::Service::Youdao].setScript([](const RecordedRequest &req) {
        return ok(QStringLiteral("<p>共约%1条</p>")
                          .arg(req.target.contains("site:") ? QStringLiteral("25万") : QStringLiteral("12,345"))
                          .toUtf8());
    });
    services[yz::Service::Soso].setResponse(ok(gbk(realisticPage(QStringLiteral("搜索到约3,456项结果")))));
    services[yz::Service::Alexa].setResponse(
            ok(realisticPage(QStringLiteral("<div class=\"data up\"><img src=\"/up.gif\">1,234,567</a>")).toUtf8()));
    const QString vendorBase = services.hosts().base(yz::Service::Vendor);
    services[yz::Service::Vendor].setScript([vendorBase](const RecordedRequest &req) {
        if (req.target.startsWith("/api/PRURL.php"))
            return ok((vendorBase + QStringLiteral("/tbr?q=info:example.com")).toUtf8());
        if (req.target.startsWith("/tbr"))
            return ok("Rank_1:1:7\n");
        if (req.target.startsWith("/yzclientthumb/"))
            return ok(sampleTrendPicture());
        return ok(QByteArray());
    });
    // dminfo 2003-03-17至2012-03-17, 建站于 2004-03-05
    services[yz::Service::Whois].setResponse(
            ok("Domain Name: EXAMPLE.COM\nRegistration Date: 2003-03-17 12:20\nExpiration Date: 2012-03-17\n"));
    services[yz::Service::Archive].setResponse(ok("<html><a href=\"/web/20040305/x\">Mar 05, 2004</a></html>"));
}

void serveEveryCause(FakeServices &services)
{
    services[yz::Service::Baidu].setResponse(ok(gbk(QStringLiteral("抱歉，没有找到与之相关的网页"))));
    FakeResponse reset;
    reset.fault = FakeResponse::Fault::CloseAtOnce;
    services[yz::Service::Google].setResponse(reset);
    FakeResponse silent;
    silent.fault = FakeResponse::Fault::NoAnswer;
    services[yz::Service::Yahoo].setResponse(silent);
    services[yz::Service::Sogou].setResponse(ok(gbk(QStringLiteral("搜狗为防止被某些程序恶意搜索抓取页面"))));
    FakeResponse notFound;
    notFound.status = 404;
    services[yz::Service::Youdao].setResponse(notFound);
    services[yz::Service::Soso].setResponse(ok("<html>a page of another shape</html>"));
}

} // namespace yztest
