#pragma once

#include "cli/DomainRun.h"
#include "results/ResultStore.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <optional>

namespace yz::cli {

// What --resume does with a domain that already has a run today.
struct ResumePlan {
    StoredRun stored; // today's newest run of the groups asked
    QSet<QString> keys; // its cells whose query failed or was refused, asked again
    QSet<QString> handlers; // the rows that ask them
    ServiceLabels labels; // the headings the cells' keys are made of
    bool complete() const { return keys.isEmpty(); } // nothing to ask: skipped
};

// Today's (local date) plan for a domain: nothing when it has no run of
// the groups today, so it runs whole. `labels`: the rules in force's.
std::optional<ResumePlan> resumePlan(ResultStore &store, const QString &domain, const PressGroups &groups,
                                     const ServiceLabels &labels, QString *error);

// What a --resume run asks: the domains without a complete run today, and
// of those with a run today only the rows whose cells failed.
struct ResumeSelection {
    QStringList toRun;
    QHash<QString, ResumePlan> plans; // the domains asked again in part
    int skipped = 0; // complete today: not asked
    QHash<QString, QSet<QString>> onlyRows() const;
};
std::optional<ResumeSelection> selectForResume(ResultStore &store, const QStringList &domains,
                                               const PressGroups &groups, const ServiceLabels &labels, QString *error);

// A domain asked again in part: the cells not asked keep the stored run's
// values and causes, so the output shows the whole record.
void mergeStored(DomainResult &result, const ResumePlan &plan);
// The cells asked again, to complete the stored run with.
QList<RecordedCell> askedAgain(const DomainResult &result, const ResumePlan &plan);

} // namespace yz::cli
