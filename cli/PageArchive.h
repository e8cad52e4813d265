#pragma once

#include "net/PageAnswer.h"

#include <QHash>
#include <QList>
#include <QString>

namespace yz::cli {

// One answer kept on disk: what was asked, how it ended, what the cell made
// of it, and the file holding its body.
struct SavedPage {
    QString domain;
    QString row; // the handler name: "bd1", "pr", ...
    QString address;
    int status = 0; // the HTTP status, or the transport status without one
    QString cause; // the cell's cause ("ok", "unrecognised", ...), or "read"/"failed" for rows without a cell
    QString file; // relative to the archive's directory
};

// How an answer's request ended, for a page whose row decides no cell.
inline QString requestOutcome(const PageAnswer &answer)
{
    return answer.read() ? QStringLiteral("read") : QStringLiteral("failed");
}

// The pages behind a run's cells (--save-pages DIR): each answer's body
// exactly as received, one file per domain and row, and index.json listing
// them. File names hold only safe characters whatever the domain holds, and
// two domains never share a name.
class PageArchive {
public:
    explicit PageArchive(QString dir);

    // Creates the directory when missing; false with a message.
    bool prepare(QString *error);
    // Writes one answer's body; the entry to list (its cause still empty),
    // or an entry without a file when it could not be written.
    SavedPage write(const QString &domain, const QString &row, const PageAnswer &answer);
    void add(const QList<SavedPage> &pages) { m_index += pages; }
    // Writes index.json (replacing it whole); false with a message.
    bool writeIndex(QString *error) const;

    QString dir() const { return m_dir; }

private:
    QString baseName(const QString &domain);

    QString m_dir;
    QHash<QString, QString> m_baseOf; // domain -> its file-name stem
    QHash<QString, QString> m_domainOf; // stem -> the domain that has it
    QList<SavedPage> m_index;
};

} // namespace yz::cli
