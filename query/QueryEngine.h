#pragma once

#include "net/PageFetcher.h"
#include "query/PressRecord.h"
#include "query/QueryTable.h"
#include "query/ResultSheet.h"
#include "query/RootDomain.h"
#include "services/ServiceHosts.h"

#include <QHash>
#include <QObject>
#include <QSet>

#include <array>
#include <functional>
#include <optional>

namespace yz {

// Whether a press runs the group.
bool pressRuns(const PressGroups &groups, Group g);

// What a front end does at two moments of a press.
struct PressHooks {
    // The root-domain test is done, before the domain-information requests
    // leave (the window shows its message box here).
    std::function<void(const RootDomainResult &)> rootDomainTested;
    // The trend picture's request is about to leave.
    std::function<void()> trendStarting;
};

// The engine both front ends drive: the service hosts, the fetcher with its
// handler table, and the result sheet the handlers write.
class QueryEngine : public QObject {
    Q_OBJECT
public:
    explicit QueryEngine(QObject *parent = nullptr);

    ServiceHosts &hosts() { return m_hosts; }
    const ServiceHosts &hosts() const { return m_hosts; }
    PageFetcher &fetcher() { return m_fetcher; }
    const PageFetcher &fetcher() const { return m_fetcher; }
    HandlerTable &handlers() { return m_fetcher.handlers(); }
    ResultSheet &sheet() { return m_sheet; }
    const ResultSheet &sheet() const { return m_sheet; }

    // Where the engine reads the domain text: the window's domain box, or the
    // command line's current domain. Read afresh each time.
    void setDomainSource(std::function<QString()> source) { m_domainSource = std::move(source); }
    QString domainText() const { return m_domainSource ? m_domainSource() : QString(); }

    // One press of the query button for the current domain text: the grid
    // groups, then the domain information, then the trend picture. Once the
    // last request in flight has ended, pressEnded gives the press's record;
    // a press begun before then takes the earlier one's place.
    void press(const PressGroups &groups, const PressHooks &hooks = {});

    // Runs the grid groups of one press: for each ticked group, in the order
    // common, rank, recent, writes its waiting values and starts its rows.
    void startGridGroups(const PressGroups &groups);

    // The domain-information requests of a press: the whois request for the
    // root domain when the root-domain test succeeded, then the archive
    // request for the domain as typed.
    void startDomainInfo(const QString &domain, const QString &rootDomain, bool haveRoot);

    // The domain-information line while its requests are under way.
    void markDomainInfoWaiting();
    QString info(InfoText which) const { return m_info[size_t(which)]; }
    void setInfo(InfoText which, const QString &text);
    // Why the whois dates and the archive date read as they do.
    const CellStatus &infoStatus(InfoText which) const { return m_infoStatus[size_t(which)]; }
    void setInfoStatus(InfoText which, const CellStatus &status);

    // The trend picture's request for the domain as typed.
    void startTrendPicture(const QString &domain);

    // Starts one row for the given domain; a row that cannot be started
    // reports (1, "0") to its handler.
    void startRow(const QueryRow &row, const QString &domain);

    // Only these rows (handler names) are started by the next presses; the
    // others' cells are left as they are. Empty: every row of the groups.
    void setOnlyRows(QSet<QString> handlers) { m_onlyRows = std::move(handlers); }

    // Address templates (see addressTemplate) replacing the table's, by
    // handler name; rows not named keep the table's address.
    void setAddressTemplates(QHash<QString, QString> templates) { m_addressTemplates = std::move(templates); }
    QString rowAddress(const QueryRow &row, const QString &domain) const;
    // Charset labels replacing the table's for every row of a service, by
    // service; an empty one keeps the table's, "auto" detects.
    void setCharsets(const std::array<QString, kServiceCount> &charsets) { m_charsets = charsets; }
    QString rowCharset(const QueryRow &row) const;

Q_SIGNALS:
    void infoChanged(yz::InfoText which, const QString &text);
    // A press has ended: every request it started has been answered or has
    // failed. Cells still waiting have been settled as failed.
    void pressEnded(const yz::PressRecord &record);

private:
    // What a press under way remembers until it ends.
    struct PendingPress {
        QString domain;
        PressGroups groups;
        QString rootProblem; // why the whois request was not sent, when it was not
    };
    void startGroup(Group group, const QString &domain);
    bool rowWanted(const QueryRow &row) const;
    void endPress();
    // Settles the cells still waiting, in the sheet and the info line's causes.
    void settleWaiting(const PendingPress &press);
    PressRecord record(const PendingPress &press) const;

    ServiceHosts m_hosts;
    PageFetcher m_fetcher;
    ResultSheet m_sheet;
    std::function<QString()> m_domainSource;
    std::array<QString, kInfoTextCount> m_info;
    std::array<CellStatus, kInfoTextCount> m_infoStatus;
    QHash<QString, QString> m_addressTemplates;
    std::array<QString, kServiceCount> m_charsets;
    std::optional<PendingPress> m_pending;
    QSet<QString> m_onlyRows;
};

} // namespace yz
