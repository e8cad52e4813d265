#include "app/WindowHistory.h"

#include "net/HostName.h"
#include "results/ValueComparison.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>

#include <memory>

namespace yz {
namespace {

// Runs read for the notes: enough to find the last good value of every cell,
// bounded however long the domain's history.
constexpr int kRunsRead = 30;

// A count with its thousands separators, any other value as it is.
QString shownValue(const QString &value)
{
    const std::optional<QString> digits = countDigits(value);
    if (!digits || digits->size() > 18)
        return value;
    QLocale grouped(QLocale::C);
    grouped.setNumberOptions({});
    return grouped.toString(digits->toLongLong());
}

} // namespace

QString storedDomainOf(const QString &typed)
{
    QString reason;
    return normalizeHostName(typed, &reason).value_or(QString());
}

// Lives on the history's thread and owns the database connection there.
class WindowHistory::Worker : public QObject {
public:
    Worker(WindowHistory *owner, QString file)
        : m_owner(owner)
        , m_file(std::move(file))
    {
    }

    // The domain's runs, or why they could not be read; no runs and no
    // problem before the first press has made the database.
    std::pair<QList<StoredRun>, QString> read(const QString &domain, int newest)
    {
        QString error;
        if (!QFileInfo::exists(m_file))
            return {};
        std::optional<QList<StoredRun>> runs;
        if (open(&error))
            runs = m_store->runs(domain, {}, &error, newest);
        return {runs.value_or(QList<StoredRun>()), runs ? QString() : error};
    }

    void load(quint64 press, const QString &domain)
    {
        auto [runs, problem] = read(domain, kRunsRead);
        QMetaObject::invokeMethod(m_owner, [owner = m_owner, press, runs = std::move(runs), problem] {
            owner->takeRuns(press, runs, problem);
        });
    }

    void store(const QString &domain, const PressRecord &record)
    {
        QString error;
        const bool ok = open(&error) && m_store->add(domain, record, kSourceWindow, &error);
        QMetaObject::invokeMethod(m_owner,
                                  [owner = m_owner, problem = ok ? QString() : error] { owner->takeStored(problem); });
    }

private:
    bool open(QString *error)
    {
        if (m_store)
            return true;
        auto store = std::make_unique<ResultStore>(m_file);
        if (!store->open(ResultStore::Purpose::Writing, error))
            return false;
        m_store = std::move(store);
        return true;
    }

    WindowHistory *m_owner; // outlives the thread, which it stops before it goes
    QString m_file;
    std::unique_ptr<ResultStore> m_store;
};

WindowHistory::WindowHistory(const QString &file, QObject *parent)
    : QObject(parent)
    , m_worker(new Worker(this, file))
{
    m_thread.setObjectName(QStringLiteral("results"));
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
}

WindowHistory::Worker *WindowHistory::worker()
{
    // Started by the first press, not at start-up: the window is painted sooner.
    if (!m_thread.isRunning())
        m_thread.start(QThread::LowPriority);
    return m_worker;
}

WindowHistory::~WindowHistory()
{
    if (!m_thread.isRunning())
        delete m_worker; // never started: no thread to hand it over
    m_thread.quit();
    m_thread.wait();
}

void WindowHistory::takeRuns(quint64 press, const QList<StoredRun> &runs, const QString &problem)
{
    if (press != m_press)
        return; // a later press has begun
    m_runs = runs;
    if (!problem.isEmpty())
        m_problem = problem;
    Q_EMIT notesChanged();
}

void WindowHistory::takeStored(const QString &problem)
{
    if (m_problem != problem) {
        m_problem = problem;
        Q_EMIT notesChanged();
    }
    Q_EMIT stored();
}

void WindowHistory::pressStarted(const QString &typed)
{
    m_domain = storedDomainOf(typed);
    m_runs.clear();
    const quint64 press = ++m_press;
    if (m_domain.isEmpty())
        return;
    QMetaObject::invokeMethod(worker(), [worker = m_worker, press, domain = m_domain] { worker->load(press, domain); });
}

void WindowHistory::pressEnded(const PressRecord &record)
{
    // A press that measured nothing (no group ticked) is no run.
    if (m_domain.isEmpty() || record.measuredCells().isEmpty())
        return;
    QMetaObject::invokeMethod(worker(),
                              [worker = m_worker, domain = m_domain, record] { worker->store(domain, record); });
    m_domain.clear(); // stored once per press
}

void WindowHistory::readHistory(const QString &domain,
                                std::function<void(const QList<StoredRun> &, const QString &)> done)
{
    QMetaObject::invokeMethod(worker(), [worker = m_worker, owner = this, domain, done = std::move(done)] {
        auto [runs, problem] = worker->read(domain, 0);
        QMetaObject::invokeMethod(owner, [done, runs = std::move(runs), problem] { done(runs, problem); });
    });
}

QString WindowHistory::note(const QString &key, const QString &current, const QString &status) const
{
    QStringList lines;
    const std::optional<PreviousValue> before = lastGoodValue(m_runs, key);
    const bool differs =
            measuredBy(status) != Measured::Value || !sameValue(before ? before->value : QString(), current);
    if (before && differs)
        lines.append(QStringLiteral("上次 %1：%2")
                             .arg(before->at.toLocalTime().toString(QStringLiteral("yyyy-MM-dd")),
                                  shownValue(before->value)));
    if (!m_problem.isEmpty())
        lines.append(QStringLiteral("结果未能保存：") + m_problem);
    return lines.join(u'\n');
}

} // namespace yz
