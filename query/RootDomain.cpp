#include "query/RootDomain.h"

#include <QRegularExpression>

namespace yz {
namespace {

// Two-level suffixes, searched in this order, compared exactly.
constexpr const char16_t *kTwoLevelSuffixes[] = {
        u"mo.cn",  u"ac.cn",  u"bj.cn",  u"sh.cn", u"tj.cn", u"cq.cn", u"he.cn",  u"sx.cn",  u"nm.cn",
        u"ln.cn",  u"jl.cn",  u"hl.cn",  u"js.cn", u"zj.cn", u"ah.cn", u"fj.cn",  u"jx.cn",  u"sd.cn",
        u"ha.cn",  u"hb.cn",  u"hn.cn",  u"gd.cn", u"gx.cn", u"hi.cn", u"sc.cn",  u"gz.cn",  u"yn.cn",
        u"gs.cn",  u"qh.cn",  u"nx.cn",  u"xj.cn", u"tw.cn", u"hk.cn", u"gov.cn", u"org.cn", u"com.cn",
        u"net.cn", u"com.ru", u"net.ru", u"co.kr", u"co.jp",
};
static_assert(std::size(kTwoLevelSuffixes) == 41);

} // namespace

RootDomainResult findRootDomain(const QString &domainText)
{
    // Not multi-line, and "\z": the text must end right there, not before a
    // final line break.
    static const QRegularExpression lastTwoLabels(QStringLiteral("([0-9a-z\\-]{1,})\\.([0-9a-z]{2,4})\\z"),
                                                  QRegularExpression::CaseInsensitiveOption);
    RootDomainResult result;
    const QRegularExpressionMatch m = lastTwoLabels.match(domainText);
    if (!m.hasMatch()) {
        result.message = QStringLiteral("错误的域名格式1");
        result.reason = QStringLiteral("须以“名称.后缀”结尾：后缀是 2 到 4 个字母或数字，名称是字母、数字或连字符");
        return result;
    }
    const QString pair = m.captured(1) + u'.' + m.captured(2);
    QString suffix = m.captured(2);
    for (const char16_t *entry : kTwoLevelSuffixes) {
        if (pair == QStringView(entry)) {
            suffix = pair;
            break;
        }
    }
    // The suffix goes in as it is: its dots match any character, and the
    // match need not be at the end. It holds only letters, digits and dots.
    const QRegularExpression withSuffix(QStringLiteral("([0-9a-z\\-]{1,})\\.") + suffix,
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch r = withSuffix.match(domainText);
    if (!r.hasMatch()) {
        result.message = QStringLiteral("错误的域名格式2");
        result.reason = QStringLiteral("后缀 %1 前面没有名称").arg(suffix);
        return result;
    }
    result.ok = true;
    result.root = r.captured(1) + u'.' + suffix;
    return result;
}

} // namespace yz
