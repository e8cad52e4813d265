#include "app/WindowHistory.h"

#include "net/HostName.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>

#include <memory>

namespace yz {
namespace {

// Runs read for the notes: enough to find an older value, bounded however
// long the domain's history.
constexpr int kRunsRead = 200;

// A count with its thousands separators, any other value as it is.
QString shownValue(const QString &value)
{
    bool digits = !value.isEmpty() && value.size() < 19;
    for (const QChar c : value)
        digits = digits && c.isDigit();
    if (!digits)
        return value;
    QLocale grouped(QLocale::C);
    grouped.setNumberOptions({});
    return grouped.toString(value.toLongLong());
}

} // namespace

// Lives on the history's thread and owns the database connection there.
class WindowHistory::Worker : public QObject {
public:
    Worker(WindowHistory *owner, QString file)
        : m_owner(owner)
        , m_file(std::move(file))
    {
    }

    void load(quint64 press, const QString &domain)
    {
        QString error;
        std::optional<QList<StoredRun>> runs;
        // Reading finds no database before the first press has stored one.
        if (QFileInfo::exists(m_file) && open(&error))
            runs = m_store->runs(domain, {}, &error);
        if (runs && runs->size() > kRunsRead)
            runs->remove(0, runs->size() - kRunsRead);
        const QString problem = runs || !QFileInfo::exists(m_file) ? QString() : error;
        QMetaObject::invokeMethod(m_owner, [owner = m_owner, press, runs = runs.value_or(QList<StoredRun>()), problem] {
            owner->takeRuns(press, runs, problem);
        });
    }

    void store(const QString &domain, const QList<StoredCell> &cells, const QDateTime &at)
    {
        QString error;
        const bool ok = open(&error) && m_store->add(domain, cells, at, &error);
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
    m_thread.start();
}

WindowHistory::~WindowHistory()
{
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
    QString reason;
    m_domain = normalizeHostName(typed, &reason).value_or(QString());
    m_runs.clear();
    const quint64 press = ++m_press;
    if (m_domain.isEmpty())
        return;
    QMetaObject::invokeMethod(m_worker, [worker = m_worker, press, domain = m_domain] { worker->load(press, domain); });
}

void WindowHistory::pressFinished(const QList<StoredCell> &cells)
{
    if (m_domain.isEmpty())
        return;
    const QDateTime at = QDateTime::currentDateTimeUtc();
    QMetaObject::invokeMethod(m_worker,
                              [worker = m_worker, domain = m_domain, cells, at] { worker->store(domain, cells, at); });
    m_domain.clear(); // stored once per press
}

QString WindowHistory::note(const QString &key, const QString &current) const
{
    QStringList lines;
    if (const std::optional<PreviousValue> before = previousDifferent(m_runs, key, current)) {
        const QDateTime at = QDateTime::fromString(before->runAt, Qt::ISODate);
        lines.append(
                QStringLiteral("上次 %1：%2")
                        .arg(at.isValid() ? at.toLocalTime().toString(QStringLiteral("yyyy-MM-dd")) : before->runAt,
                             shownValue(before->value)));
    }
    if (!m_problem.isEmpty())
        lines.append(QStringLiteral("结果未能保存：") + m_problem);
    return lines.join(u'\n');
}

} // namespace yz
