// Decoding speed: an 8 MB page of Chinese result markup, as GBK and as UTF-8
// bytes, decoded to UTF-16 by the program's decoders and by glibc's iconv on
// the same bytes. Reports MB/s and the ratio of our speed to iconv's.
#include "bench/Timing.h"
#include "net/TextDecoding.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <iconv.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

QString sampleText(qsizetype chars)
{
    const QString unit = QStringLiteral(
            "<tr><td class=\"f\"><a href=\"http://site.example.com/news/2010\">站长新闻：百度收录与外链查询，"
            "找到相关网页约1,230,000篇</a><br><span>site.example.com/ 15K 2010-3-9 百度快照</span></td></tr>\n");
    QString text;
    text.reserve(chars + unit.size());
    while (text.size() < chars)
        text += unit;
    text.truncate(chars);
    return text;
}

// UTF-16 code units iconv produced, or -1.
qsizetype iconvDecode(const char *from, const QByteArray &bytes, std::vector<char> &out)
{
    iconv_t cd = iconv_open("UTF-16LE", from);
    if (cd == iconv_t(-1))
        return -1;
    char *in = const_cast<char *>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    char *o = out.data();
    size_t outLeft = out.size();
    const size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    return r == size_t(-1) ? -1 : qsizetype((out.size() - outLeft) / 2);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    constexpr qsizetype kBytes = 8 * 1024 * 1024;
    // Whole texts: a cut character would make iconv stop.
    const QByteArray gbk = yz::encodeGbk(sampleText(kBytes * 2 / 3));
    const QByteArray utf8 = sampleText(kBytes / 2).toUtf8();
    std::vector<char> out(size_t(kBytes) * 4);

    std::printf("%-34s %10s %10s %12s %8s\n", "decoding (8 MB)", "ours MB/s", "iconv MB/s", "ours/iconv", "target");
    const struct {
        const char *name;
        const char *iconvName;
        const QByteArray *bytes;
        QString (*decode)(QByteArrayView);
    } cases[] = {{"GBK (gb18030 rules) -> UTF-16", "GB18030", &gbk, yz::decodeGbk},
                 {"UTF-8 -> UTF-16", "UTF-8", &utf8, yz::decodeUtf8}};
    for (const auto &c : cases) {
        const double mb = double(c.bytes->size()) / (1024 * 1024);
        volatile qsizetype sink = 0;
        const double ours = yzbench::bestSeconds([&] { sink = sink + c.decode(*c.bytes).size(); }, 5);
        qsizetype theirsUnits = 0;
        const double theirs = yzbench::bestSeconds([&] { theirsUnits = iconvDecode(c.iconvName, *c.bytes, out); }, 5);
        if (theirsUnits < 0) {
            std::fprintf(stderr, "iconv could not decode the %s sample\n", c.name);
            return 1;
        }
        std::printf("%-34s %10.0f %10.0f %12.2f %8s\n", c.name, mb / ours, mb / theirs, theirs / ours, ">= 1");
    }
    return 0;
}
