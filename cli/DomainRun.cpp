#include "cli/DomainRun.h"

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

QList<GridCell> gridCells(const DomainResult &result)
{
    QList<GridCell> cells;
    for (int g = 0; g < kGridCount; ++g) {
        const QList<QStringList> &grid = result.grids[size_t(g)];
        const QStringList &headings = grid.value(0);
        for (qsizetype r = 1; r < grid.size(); ++r)
            for (qsizetype c = 1; c < headings.size(); ++c)
                cells.append({Grid(g), gridCellName(int(grid.size() - 1), grid[r].value(0), headings[c]),
                              grid[r].value(c), result.statuses[size_t(g)].value(r).value(c)});
    }
    return cells;
}

QList<StoredCell> storedCells(const DomainResult &result)
{
    QList<StoredCell> cells;
    for (const GridCell &cell : gridCells(result))
        cells.append({ResultSheet::gridName(cell.grid) + u'/' + cell.name, cell.value, cell.status.name(),
                      cell.status.failureStatus()});
    cells.append({QStringLiteral("dminfo"), result.info[size_t(InfoText::WhoisDates)], QString(), 0});
    cells.append({QStringLiteral("dminfo3"), result.info[size_t(InfoText::ArchiveDate)], QString(), 0});
    return cells;
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
        m_engine.setAddressTemplates(rules->addresses);
    } else {
        addResultHandlers(m_engine);
    }
    m_engine.handlers().addPicture(QString::fromUtf16(rowFor(Scraper::TrendPicture).handler),
                                   [this](qint16 err, const QByteArray &bytes) {
                                       saveTrendPicture(m_result, m_trendDir, err, bytes);
                                   });
    connect(&m_engine.fetcher(), &PageFetcher::idle, this, &DomainRun::collect);
    connect(&m_engine.sheet(), &ResultSheet::statusChanged, this, &DomainRun::noteRefusal);
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
    if (m_engine.fetcher().inFlight() == 0 && !m_finished)
        collect();
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

// A refusal page slows its service's host down for every later request of the run.
void DomainRun::noteRefusal(Grid grid, int row, int col, const CellStatus &status)
{
    if (!m_gate || status.cause != CellStatus::Cause::Refused)
        return;
    if (const QueryRow *query = findRowForCell(grid, row, col))
        m_gate->slowDown(PageFetcher::gateKey(QUrl(m_engine.rowAddress(*query, m_result.domain))));
}

void DomainRun::collect()
{
    if (m_finished)
        return;
    m_finished = true;
    const ResultSheet &sheet = m_engine.sheet();
    for (int g = 0; g < kGridCount; ++g) {
        const GridShape shape = ResultSheet::shape(Grid(g));
        for (int r = 0; r < shape.rows; ++r) {
            QStringList row;
            QList<CellStatus> causes;
            for (int c = 0; c < shape.cols; ++c) {
                row << sheet.cell(Grid(g), r, c);
                causes << sheet.status(Grid(g), r, c);
            }
            m_result.grids[size_t(g)] << row;
            m_result.statuses[size_t(g)] << causes;
        }
    }
    for (int i = 0; i < kInfoTextCount; ++i) {
        m_result.info[size_t(i)] = m_engine.info(InfoText(i));
        m_result.infoStatuses[size_t(i)] = m_engine.infoStatus(InfoText(i));
        // The window shows "loading" until an answer comes; a run that has
        // ended has no answer to wait for: the text goes, a cause stays.
        if (m_result.info[size_t(i)] == kLoadingText) {
            m_result.info[size_t(i)].clear();
            CellStatus &status = m_result.infoStatuses[size_t(i)];
            status.cause = CellStatus::Cause::Failed;
            status.reason = InfoText(i) == InfoText::WhoisDates && !m_result.rootMessage.isEmpty()
                    ? m_result.rootMessage + QStringLiteral("：") + m_result.rootReason
                    : QStringLiteral("没有得到应答");
        }
    }
    // A saved page whose answer decided a cell gets that cell's cause; the
    // others keep how their request ended.
    for (SavedPage &page : m_result.pages) {
        if (const std::optional<CellRef> cell = cellDecidedBy(page.row))
            page.cause = sheet.status(cell->grid, cell->row, cell->col).name();
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
