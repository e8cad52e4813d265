#pragma once

#include "cli/PageArchive.h"
#include "net/HostGate.h"
#include "parsers/RulesFile.h"
#include "query/QueryEngine.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace yz::cli {

// Everything one press showed for one domain, once every request has ended:
// the engine's record of the press, and what the command line adds to it.
struct DomainResult : PressRecord {
    QString finalDomain; // the root domain, when the test succeeded
    QString rootMessage; // the test's failure message, when it failed
    QString rootReason; // ... and what is wrong, in words
    int started = 0;
    int answered = 0; // ended with the server's answer rather than a failure
    QString trendFile; // the picture saved, if any
    QString trendProblem; // why no picture was saved, if one was asked for
    bool trendWriteFailed = false;
    QList<SavedPage> pages; // with --save-pages: the answers kept on disk
};

// One press of the groups for one domain on an engine of its own, so that
// no answer can land in another domain's result. Requests leave through the
// shared gate when one is given. `finished` is emitted once every request
// the press started has ended; the result is complete then.
class DomainRun : public QObject {
    Q_OBJECT
public:
    // `rules`, when given, replaces the built-in scraping rules and must
    // outlive the run.
    DomainRun(const ServiceHosts &hosts, const PressGroups &groups, const QString &domain, const QString &trendDir,
              HostGate *gate, const ScrapeRules *rules = nullptr, QObject *parent = nullptr);

    void setTimeoutMs(int ms) { m_engine.fetcher().setTimeoutMs(ms); }
    // Asks only these rows (handler names) of the groups.
    void setOnlyRows(const QSet<QString> &handlers) { m_engine.setOnlyRows(handlers); }
    // Every request still outstanding waits at the gate (its host at its
    // limit or slowed down): the run uses no connection now.
    bool parked() const
    {
        return m_engine.fetcher().inFlight() > 0 && m_engine.fetcher().inFlight() == m_engine.fetcher().queuedAtGate();
    }
    void start();
    // Keeps every answer's body in `archive` (set before start()).
    void keepPagesIn(PageArchive *archive);
    // The result; complete once finished.
    DomainResult takeResult();

Q_SIGNALS:
    void finished();
    // One of its requests has ended (it may be parked now).
    void requestEnded();
    // A cell's request failed at the proxy.
    void proxyFailed();

private:
    void collect(const PressRecord &record);
    void noteAnswer(Grid grid, int row, int col, const CellStatus &status);

    DomainResult m_result;
    QString m_trendDir;
    HostGate *m_gate;
    PageArchive *m_archive = nullptr;
    QueryEngine m_engine;
    bool m_finished = false;
};

// The picture's file for a domain: "<dir>/<domain>_bd1.jpg", with every
// character that could leave the directory or trouble a shell replaced.
QString trendFilePath(const QString &dir, const QString &domain);

} // namespace yz::cli
