#include "cli/DomainRun.h"

#include "net/TransportStatus.h"
#include "parsers/ResultHandlers.h"

#include <QDir>
#include <QSaveFile>
#include <QUrl>

namespace yz::cli {
namespace {

void saveTrendPicture(DomainResult &result, const QString &dir, qint16 err, const QByteArray &bytes)
{
    if (err != 0) {
        result.trendProblem = QStringLiteral("图片下载出错");
        return;
    }
    // The picture handler's buffer holds one zero byte past the announced
    // length; the file gets the picture as it was served.
    const QByteArray picture = bytes.isEmpty() ? bytes : bytes.chopped(1);
    const QString path = trendFilePath(dir, result.domain);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(picture) != picture.size() || !file.commit()) {
        result.trendProblem = QStringLiteral("无法写入 %1：%2").arg(path, file.errorString());
        result.trendWriteFailed = true;
        return;
    }
    result.trendFile = path;
    result.trendProblem.clear();
}

} // namespace

QString trendFilePath(const QString &dir, const QString &domain)
{
    QString name;
    for (QChar c : domain) {
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'.'
                || c == u'-' || c == u'_' || (c.unicode() > 0x7F && c.isLetterOrNumber());
        name += plain ? c : u'_';
    }
    // A leading dot would hide the file, and ".." must never name a parent.
    if (name.startsWith(u'.'))
        name.prepend(u'_');
    return QDir(dir).filePath(name + QStringLiteral("_bd1.jpg"));
}

DomainRun::DomainRun(const ServiceHosts &hosts, const PressGroups &groups, const QString &domain,
                     const QString &trendDir, HostGate *gate, const ScrapeRules *rules, QObject *parent)
    : QObject(parent)
    , m_trendDir(trendDir)
    , m_gate(gate)
{
    m_result.domain = domain;
    m_result.groups = groups;
    m_engine.hosts() = hosts;
    m_engine.fetcher().setGate(gate);
    m_engine.setDomainSource([this] { return m_result.domain; });
    if (rules) {
        addResultHandlers(m_engine, *rules);
        useRules(m_engine, *rules);
    } else {
        addResultHandlers(m_engine);
    }
    m_engine.handlers().addPicture(QString::fromUtf16(rowFor(Scraper::TrendPicture).handler),
                                   [this](qint16 err, const QByteArray &bytes) {
                                       saveTrendPicture(m_result, m_trendDir, err, bytes);
                                   });
    connect(&m_engine, &QueryEngine::pressEnded, this, &DomainRun::collect);
    connect(&m_engine.fetcher(), &PageFetcher::requestFinished, this, &DomainRun::requestEnded);
    connect(&m_engine.sheet(), &ResultSheet::statusChanged, this, &DomainRun::noteAnswer);
}

void DomainRun::start()
{
    if (m_result.groups.trend)
        m_result.trendProblem = QStringLiteral("图片下载出错"); // until a picture arrives
    PressHooks hooks;
    hooks.rootDomainTested = [this](const RootDomainResult &root) {
        if (root.ok) {
            m_result.finalDomain = root.root;
        } else {
            m_result.rootMessage = root.message;
            m_result.rootReason = root.reason;
        }
    };
    m_engine.press(m_result.groups, hooks);
}

void DomainRun::keepPagesIn(PageArchive *archive)
{
    m_archive = archive;
    m_engine.handlers().setObserver([this](const QString &row, const PageAnswer &answer) {
        m_result.pages.append(m_archive->write(m_result.domain, row, answer));
        m_result.pages.last().cause = requestOutcome(answer);
    });
}

DomainResult DomainRun::takeResult()
{
    return std::move(m_result);
}

// How each answer read tells the gate about its host: a refusal slows the
// host down for every later request of the run (and may give it up), an
// answer ends a run of refusals, a failure is counted.
void DomainRun::noteAnswer(Grid grid, int row, int col, const CellStatus &status)
{
    const QueryRow *query = m_gate ? findRowForCell(grid, row, col) : nullptr;
    if (!query)
        return;
    const QString host = PageFetcher::gateKey(QUrl(m_engine.rowAddress(*query, m_result.domain)));
    switch (status.cause) {
    case CellStatus::Cause::Refused:
        if (status.transport != transport::kHostGivenUp)
            m_gate->noteRefused(host);
        break;
    case CellStatus::Cause::Ok:
    case CellStatus::Cause::None:
    case CellStatus::Cause::Unrecognised:
        m_gate->noteAnswered(host);
        break;
    case CellStatus::Cause::Failed:
        m_gate->noteFailed(host);
        if (status.transport == transport::kProxyFailed)
            Q_EMIT proxyFailed();
        break;
    case CellStatus::Cause::Empty:
    case CellStatus::Cause::Waiting:
        break;
    }
}

void DomainRun::collect(const PressRecord &record)
{
    if (m_finished)
        return;
    m_finished = true;
    static_cast<PressRecord &>(m_result) = record;
    // A saved page whose answer decided a cell gets that cell's cause; the
    // others keep how their request ended.
    for (SavedPage &page : m_result.pages) {
        if (const std::optional<CellRef> cell = cellDecidedBy(page.row))
            page.cause = m_result.statuses[size_t(cell->grid)].value(cell->row).value(cell->col).name();
        else if (const QueryRow *row = findQueryRow(page.row); row && row->scraper == Scraper::WhoisDates)
            page.cause = m_result.infoStatuses[size_t(InfoText::WhoisDates)].name();
        else if (row && row->scraper == Scraper::FirstArchiveDate)
            page.cause = m_result.infoStatuses[size_t(InfoText::ArchiveDate)].name();
    }
    m_result.started = m_engine.fetcher().startedCount();
    m_result.answered = m_engine.fetcher().answeredCount();
    Q_EMIT finished();
}

} // namespace yz::cli
