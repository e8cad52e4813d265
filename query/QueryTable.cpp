#include "query/QueryTable.h"

#include "services/VendorPaths.h"

namespace yz {
namespace {

constexpr char16_t kGb[] = u"gb2312";
constexpr char16_t kUtf8[] = u"utf-8";
constexpr char16_t kDetect[] = u"";
constexpr char16_t kNone[] = u"";

constexpr char16_t kBaiduAdvanced1[] = u"/s?q1=&q2=&q3=&q4=&rn=10&lm=1&ct=0&ft=&q5=&q6=";
constexpr char16_t kBaiduAdvanced7[] = u"/s?q1=&q2=&q3=&q4=&rn=10&lm=7&ct=0&ft=&q5=&q6=";
constexpr char16_t kBaiduAdvanced30[] = u"/s?q1=&q2=&q3=&q4=&rn=10&lm=30&ct=0&ft=&q5=&q6=";
constexpr char16_t kBaiduAdvancedEnd[] = u"&tn=baiduadv";
constexpr char16_t kGoogleRecent[] = u"/search?hl=zh-CN&tbo=1&newwindow=1&q=site%3A";

using enum Group;
using S = Scraper;
using enum Service;
constexpr DomainPart T = DomainPart::Typed;
constexpr Grid G1 = Grid::Tb1, G2 = Grid::Tb2, G3 = Grid::Tb3;

constexpr QueryRow kGridRows[] = {
        {kBaiduCountRow, S::BaiduCount, Common, Baidu, u"/s?wd=site:", T, kNone, kGb, {G1, 1, 1}},
        {u"bd2", S::BaiduCount, Common, Baidu, u"/s?wd=domain:", T, kNone, kGb, {G1, 2, 1}},
        {u"gg1", S::GoogleCount, Common, Google, u"/search?q=site:", T, kNone, kDetect, {G1, 1, 2}},
        {u"gg2", S::GoogleCount, Common, Google, u"/search?q=link:", T, kNone, kDetect, {G1, 2, 2}},
        {u"yh1", S::YahooCount, Common, Yahoo, u"/search?p=", T, kNone, kUtf8, {G1, 1, 3}},
        {u"yh2", S::YahooCount, Common, Yahoo, u"/search?p=", T, u"&bwm=i", kUtf8, {G1, 2, 3}},
        {u"sg1", S::SogouCount, Common, Sogou, u"/web?query=site:", T, kNone, kGb, {G1, 1, 4}},
        {u"sg2", S::SogouCount, Common, Sogou, u"/web?query=%22", T, u"%22", kGb, {G1, 2, 4}},
        {u"yd1", S::YoudaoCount, Common, Youdao, u"/search?q=site:", T, kNone, kUtf8, {G1, 1, 5}},
        {u"yd2", S::YoudaoCount, Common, Youdao, u"/search?q=link:", T, kNone, kUtf8, {G1, 2, 5}},
        {u"ss1", S::SosoCount, Common, Soso, u"/q?pid=s.idx&w=site:", T, kNone, kGb, {G1, 1, 6}},
        // The vendor answers with the address of the PageRank request; prurl
        // starts that one, and pr writes the cell.
        {u"prurl", S::PageRankAddress, Rank, Vendor, vendor::kPageRankUrl, T, kNone, kUtf8, {G2, 1, 2}},
        {u"ale", S::AlexaRank, Rank, Alexa, u"/siteinfo/", T, kNone, kUtf8, {G2, 1, 3}},
        {u"sgr", S::SogouRank, Rank, Sogou, u"/web?query=http://", T, kNone, kGb, {G2, 1, 4}},
        {u"bdkz", S::BaiduSnapshot, Rank, Baidu, u"/s?wd=", T, kNone, kGb, {G2, 1, 1}},
        {u"bd3", S::BaiduCount, Recent, Baidu, kBaiduAdvanced1, T, kBaiduAdvancedEnd, kGb, {G3, 1, 1}},
        {u"bd4", S::BaiduCount, Recent, Baidu, kBaiduAdvanced7, T, kBaiduAdvancedEnd, kGb, {G3, 1, 2}},
        {u"bd5", S::BaiduCount, Recent, Baidu, kBaiduAdvanced30, T, kBaiduAdvancedEnd, kGb, {G3, 1, 3}},
        {u"gg3", S::GoogleCount, Recent, Google, kGoogleRecent, T, u"&tbs=qdr:d", kDetect, {G3, 2, 1}},
        {u"gg4", S::GoogleCount, Recent, Google, kGoogleRecent, T, u"&tbs=qdr:w", kDetect, {G3, 2, 2}},
        // Asks for the past year although the column is headed "within a month".
        {u"gg5", S::GoogleCount, Recent, Google, kGoogleRecent, T, u"&tbs=qdr:y", kDetect, {G3, 2, 3}},
};

// The domain-information and trend-picture rows fill labels and the picture
// box, not grid cells.
constexpr CellRef kNoCell = {G1, -1, -1};
constexpr QueryRow kLabelRows[] = {
        {u"birthdayDomain", S::WhoisDates, Info, Whois, u"/cgi-bin/whois?domain=", DomainPart::Root, kNone, kDetect,
         kNoCell},
        {u"birthdaySite", S::FirstArchiveDate, Info, Archive, u"/web/*/http://", T, kNone, kDetect, kNoCell},
        {u"loadPic", S::TrendPicture, Trend, Vendor, vendor::kTrendPicture, T, vendor::kTrendPictureEnd, kNone,
         kNoCell},
};

constexpr FixedCell kFixedCells[] = {
        // No engine gives Soso's backlinks.
        {Common, {G1, 2, 6}, u"NaN"},
};

} // namespace

std::span<const QueryRow> gridQueryRows()
{
    return kGridRows;
}

std::span<const QueryRow> labelQueryRows()
{
    return kLabelRows;
}

std::span<const FixedCell> fixedCells()
{
    return kFixedCells;
}

const QueryRow *findQueryRow(QStringView handler)
{
    for (const auto rows : allQueryRows())
        for (const QueryRow &row : rows)
            if (handler == QStringView(row.handler))
                return &row;
    return nullptr;
}

const QueryRow *findRowForCell(Grid grid, int row, int col)
{
    for (const QueryRow &r : gridQueryRows())
        if (r.target.grid == grid && r.target.row == row && r.target.col == col)
            return &r;
    return nullptr;
}

std::optional<CellRef> cellDecidedBy(QStringView handler)
{
    if (handler == QStringView(kPageRankHandler))
        return rowFor(Scraper::PageRankAddress).target;
    const QueryRow *row = findQueryRow(handler);
    if (!row || row->scraper == Scraper::PageRankAddress || row->target.row < 0)
        return std::nullopt;
    return row->target;
}

bool rowReadsValue(QStringView handler)
{
    if (cellDecidedBy(handler))
        return true;
    const QueryRow *row = findQueryRow(handler);
    return row && (row->scraper == Scraper::WhoisDates || row->scraper == Scraper::FirstArchiveDate);
}

const QueryRow &rowFor(Scraper scraper)
{
    for (const auto rows : allQueryRows())
        for (const QueryRow &row : rows)
            if (row.scraper == scraper)
                return row;
    // Every scraper has a row; the table test walks them all.
    Q_UNREACHABLE();
}

std::array<std::span<const QueryRow>, 2> allQueryRows()
{
    return {gridQueryRows(), labelQueryRows()};
}

QString queryAddress(const QueryRow &row, const ServiceHosts &hosts, const QString &domain)
{
    QString address = hosts.base(row.service);
    address += QStringView(row.before);
    address += domain;
    address += QStringView(row.after);
    return address;
}

QString rowCharsetLabel(const QueryRow &row, const QString &replaced)
{
    if (replaced.isEmpty())
        return QString::fromUtf16(row.charset);
    return replaced == u"auto" ? QString() : replaced;
}

QString addressTemplate(const QueryRow &row)
{
    QString pattern = QString::fromUtf16(kBasePlaceholder);
    pattern += QStringView(row.before);
    pattern += QStringView(kDomainPlaceholder);
    pattern += QStringView(row.after);
    return pattern;
}

QString fillAddressTemplate(QStringView pattern, const QString &base, const QString &domain)
{
    QString address;
    for (qsizetype i = 0; i < pattern.size();) {
        if (pattern.mid(i).startsWith(QStringView(kBasePlaceholder))) {
            address += base;
            i += QStringView(kBasePlaceholder).size();
        } else if (pattern.mid(i).startsWith(QStringView(kDomainPlaceholder))) {
            address += domain;
            i += QStringView(kDomainPlaceholder).size();
        } else {
            address += pattern[i++];
        }
    }
    return address;
}

} // namespace yz
