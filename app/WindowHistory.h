#pragma once

#include "results/ResultStore.h"

#include <QObject>
#include <QThread>

#include <functional>

namespace yz {

// The window's memory of its presses: each press's record goes to the
// results database the command line shares, and each result cell's tooltip
// names the good value it held before, with its date. The database is worked
// on by a thread of its own, so a press never waits for it; a database that
// cannot be written costs a line in the tooltips, nothing more.
class WindowHistory : public QObject {
    Q_OBJECT
public:
    explicit WindowHistory(const QString &file = defaultResultsFile(), QObject *parent = nullptr);
    ~WindowHistory() override;

    // A press for `typed` begins: the domain's latest runs are read for the
    // notes. Text that is not a host name is neither read nor stored.
    void pressStarted(const QString &typed);
    // The press has ended: its record is stored.
    void pressEnded(const PressRecord &record);

    // The tooltip's extra lines for a cell now holding `current` with
    // `status`: "上次 2026-12-01：1,230,000" when the good value before it
    // differs (or the cell now holds no value), and why the results could not
    // be kept when they could not. Empty otherwise.
    QString note(const QString &key, const QString &current, const QString &status) const;

    // A domain's whole history, read on the database's thread; `done` gets
    // the runs (oldest first) or why they could not be read, on this thread.
    void readHistory(const QString &domain,
                     std::function<void(const QList<StoredRun> &runs, const QString &problem)> done);

Q_SIGNALS:
    // The stored runs arrived, or the store failed: tooltips are worth redoing.
    void notesChanged();
    // A press's record is stored (or failed to be).
    void stored();

private:
    class Worker;
    Worker *worker();
    void takeRuns(quint64 press, const QList<StoredRun> &runs, const QString &problem);
    void takeStored(const QString &problem);

    Worker *m_worker;
    QThread m_thread;
    QString m_domain; // the press's host name; empty: nothing is stored
    quint64 m_press = 0; // which press the loaded runs belong to
    QList<StoredRun> m_runs;
    QString m_problem; // why the results could not be kept
};

// The host name the window files a typed domain under; empty when the text
// is not one.
QString storedDomainOf(const QString &typed);

} // namespace yz
