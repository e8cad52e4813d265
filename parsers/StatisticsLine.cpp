#include "parsers/StatisticsLine.h"

#include "services/HandlerNames.h"

namespace yz {
namespace {

const QString kDownloadError = QStringLiteral("下载统计内容错误");

} // namespace

StatisticsLine::StatisticsLine(PageFetcher &fetcher, const ServiceHosts &hosts, QObject *parent)
    : QObject(parent)
    , m_fetcher(fetcher)
    , m_hosts(hosts)
{
    fetcher.handlers().add(QString::fromUtf16(handler::kStatistics), AnswerHandler([this](const PageAnswer &answer) {
                               // An address that cannot be requested has no status to show.
                               if (answer.notStarted())
                                   Q_EMIT line(kDownloadError);
                               else
                                   Tongji(answer.err(), answer.html());
                           }));
}

void StatisticsLine::invokeTongji(std::optional<StatisticsProvider> type, const QString &siteId,
                                  const QString &password)
{
    m_type = type;
    if (type)
        m_url = statisticsLoginUrl(*type, siteId, password, m_hosts);
    Q_EMIT line(QStringLiteral("正在加载统计..."));
    m_fetcher.urlfetch(m_url, QStringLiteral("GET"), QString(), QStringLiteral("GB2312"),
                       QString::fromUtf16(handler::kStatistics));
}

void StatisticsLine::Tongji(qint16 err, const QString &html)
{
    if (err != 0) {
        Q_EMIT line(kDownloadError + html);
        return;
    }
    // A type that is neither provider reads as 51LA, as the login did not change.
    const StatisticsProvider provider = m_type.value_or(StatisticsProvider::La51);
    const StatisticsResult result = m_rules.scrape(provider, html);
    switch (result.kind) {
    case StatisticsResult::Kind::TooFew:
        return;
    case StatisticsResult::Kind::WrongPassword:
        Q_EMIT line(QStringLiteral("查看密码错误"));
        return;
    case StatisticsResult::Kind::Unrecognised: {
        // The page goes into the message so that the user can pass it on: its
        // beginning in the text, which stays small enough for a box to fit the
        // screen, and all of it beside when it was cut.
        constexpr qsizetype kShownPage = 1000;
        const QString name = provider == StatisticsProvider::Cnzz ? QStringLiteral("CNZZ") : QStringLiteral("51LA");
        const QString shown = html.size() > kShownPage ? html.left(kShownPage) + u'…' : html;
        Q_EMIT failed(QStringLiteral("分析统计内容错误") + name + QStringLiteral("，请通知") + kSupportMail + shown,
                      html.size() > kShownPage ? html : QString());
        Q_EMIT line(result.line);
        return;
    }
    case StatisticsResult::Kind::Line:
        Q_EMIT line(result.line);
        return;
    }
}

} // namespace yz
