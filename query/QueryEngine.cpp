#include "query/QueryEngine.h"

#include <algorithm>

namespace yz {

bool pressRuns(const PressGroups &groups, Group g)
{
    switch (g) {
    case Group::Common:
        return groups.common;
    case Group::Rank:
        return groups.rank;
    case Group::Recent:
        return groups.recent;
    case Group::Info:
        return groups.info;
    case Group::Trend:
        return groups.trend;
    }
    return false;
}

QueryEngine::QueryEngine(QObject *parent)
    : QObject(parent)
    , m_fetcher(this)
    , m_sheet(this)
{
    connect(&m_fetcher, &PageFetcher::idle, this, &QueryEngine::endPress);
}

void QueryEngine::startGridGroups(const PressGroups &groups)
{
    const QString domain = domainText();
    for (Group g : {Group::Common, Group::Rank, Group::Recent})
        if (pressRuns(groups, g))
            startGroup(g, domain);
}

void QueryEngine::press(const PressGroups &groups, const PressHooks &hooks)
{
    m_pending = PendingPress{domainText(), groups, QString()};
    startGridGroups(groups);
    if (groups.info) {
        markDomainInfoWaiting();
        const RootDomainResult root = findRootDomain(domainText());
        if (!root.ok)
            m_pending->rootProblem = root.message + QStringLiteral("：") + root.reason;
        if (hooks.rootDomainTested)
            hooks.rootDomainTested(root);
        startDomainInfo(domainText(), root.root, root.ok);
    }
    if (groups.trend) {
        if (hooks.trendStarting)
            hooks.trendStarting();
        startTrendPicture(domainText());
    }
    if (m_fetcher.inFlight() == 0)
        endPress();
}

void QueryEngine::endPress()
{
    if (!m_pending)
        return;
    const PendingPress press = *std::exchange(m_pending, std::nullopt);
    settleWaiting(press);
    Q_EMIT pressEnded(record(press));
}

void QueryEngine::settleWaiting(const PendingPress &press)
{
    CellStatus unanswered;
    unanswered.cause = CellStatus::Cause::Failed;
    unanswered.reason = kUnansweredReason;
    unanswered.at = QDateTime::currentDateTimeUtc();
    for (int g = 0; g < kGridCount; ++g) {
        const GridShape shape = ResultSheet::shape(Grid(g));
        for (int r = 1; r < shape.rows; ++r)
            for (int c = 1; c < shape.cols; ++c)
                if (m_sheet.status(Grid(g), r, c).cause == CellStatus::Cause::Waiting)
                    m_sheet.setStatus(Grid(g), c, r, unanswered);
    }
    for (int i = 0; i < kInfoTextCount; ++i) {
        if (m_infoStatus[size_t(i)].cause != CellStatus::Cause::Waiting)
            continue;
        m_infoStatus[size_t(i)] = unanswered;
        if (InfoText(i) == InfoText::WhoisDates && !press.rootProblem.isEmpty())
            m_infoStatus[size_t(i)].reason = press.rootProblem;
    }
}

PressRecord QueryEngine::record(const PendingPress &press) const
{
    PressRecord r;
    r.domain = press.domain;
    r.groups = press.groups;
    r.at = QDateTime::currentDateTimeUtc();
    for (int g = 0; g < kGridCount; ++g) {
        const GridShape shape = ResultSheet::shape(Grid(g));
        for (int row = 0; row < shape.rows; ++row) {
            QStringList texts;
            QList<CellStatus> causes;
            for (int c = 0; c < shape.cols; ++c) {
                const CellStatus status = m_sheet.status(Grid(g), row, c);
                // The window goes on showing "loading" where no answer came;
                // the record says what that means.
                const bool unanswered = status.cause == CellStatus::Cause::Failed && status.reason == kUnansweredReason
                        && m_sheet.cell(Grid(g), row, c) == kLoadingText;
                texts << (unanswered ? kUnansweredValue : m_sheet.cell(Grid(g), row, c));
                causes << status;
            }
            r.grids[size_t(g)] << texts;
            r.statuses[size_t(g)] << causes;
        }
    }
    for (int i = 0; i < kInfoTextCount; ++i) {
        r.info[size_t(i)] = m_info[size_t(i)] == kLoadingText ? QString() : m_info[size_t(i)];
        r.infoStatuses[size_t(i)] = m_infoStatus[size_t(i)];
    }
    return r;
}

void QueryEngine::startGroup(Group group, const QString &domain)
{
    // Waiting values column by column, top to bottom: "loading" where a query
    // will write, the fixed text where none does.
    struct Waiting {
        CellRef cell;
        QString text;
    };
    QList<Waiting> waiting;
    for (const QueryRow &row : gridQueryRows())
        if (row.group == group && rowWanted(row))
            waiting.append({row.target, kLoadingText});
    for (const FixedCell &fixed : fixedCells())
        if (fixed.group == group && m_onlyRows.isEmpty())
            waiting.append({fixed.cell, QString::fromUtf16(fixed.text)});
    std::stable_sort(waiting.begin(), waiting.end(), [](const Waiting &a, const Waiting &b) {
        return std::pair(a.cell.col, a.cell.row) < std::pair(b.cell.col, b.cell.row);
    });
    for (const Waiting &w : waiting) {
        m_sheet.setValue(w.cell.grid, w.cell.col, w.cell.row, w.text);
        if (w.text == kLoadingText)
            m_sheet.setStatus(w.cell.grid, w.cell.col, w.cell.row, CellStatus::waiting());
    }

    for (const QueryRow &row : gridQueryRows())
        if (row.group == group && rowWanted(row))
            startRow(row, domain);
}

bool QueryEngine::rowWanted(const QueryRow &row) const
{
    return m_onlyRows.isEmpty() || m_onlyRows.contains(QString::fromUtf16(row.handler));
}

void QueryEngine::startDomainInfo(const QString &domain, const QString &rootDomain, bool haveRoot)
{
    for (const QueryRow &row : labelQueryRows()) {
        if (row.group != Group::Info || !rowWanted(row))
            continue;
        if (row.domain == DomainPart::Root) {
            if (haveRoot)
                startRow(row, rootDomain);
        } else {
            startRow(row, domain);
        }
    }
}

void QueryEngine::markDomainInfoWaiting()
{
    setInfo(InfoText::WhoisDates, kLoadingText);
    setInfo(InfoText::ArchiveCaption, QString());
    setInfo(InfoText::ArchiveDate, kLoadingText);
    m_infoStatus.fill(CellStatus::waiting());
}

void QueryEngine::setInfo(InfoText which, const QString &text)
{
    m_info[size_t(which)] = text;
    Q_EMIT infoChanged(which, text);
}

void QueryEngine::setInfoStatus(InfoText which, const CellStatus &status)
{
    m_infoStatus[size_t(which)] = status;
}

void QueryEngine::startTrendPicture(const QString &domain)
{
    for (const QueryRow &row : labelQueryRows()) {
        if (row.group != Group::Trend)
            continue;
        m_fetcher.picfetch(rowAddress(row, domain), QString::fromUtf16(row.handler));
    }
}

QString QueryEngine::rowAddress(const QueryRow &row, const QString &domain) const
{
    if (!m_addressTemplates.isEmpty()) {
        const auto replaced = m_addressTemplates.constFind(QString::fromUtf16(row.handler));
        if (replaced != m_addressTemplates.constEnd())
            return fillAddressTemplate(*replaced, m_hosts.base(row.service), domain);
    }
    return queryAddress(row, m_hosts, domain);
}

QString QueryEngine::rowCharset(const QueryRow &row) const
{
    return rowCharsetLabel(row, m_charsets[size_t(row.service)]);
}

void QueryEngine::startRow(const QueryRow &row, const QString &domain)
{
    m_fetcher.urlfetch(rowAddress(row, domain), QStringLiteral("get"), QString(), rowCharset(row),
                       QString::fromUtf16(row.handler));
}

} // namespace yz
