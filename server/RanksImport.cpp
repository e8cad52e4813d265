#include "server/RanksImport.h"

#include "server/Database.h"
#include "server/RanksFile.h"
#include "server/Transaction.h"

#include <QIODevice>
#include <QList>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace yz::server {
namespace {

// Rows per INSERT statement: one round trip carries many rows, which is what
// makes the import fast on both databases.
constexpr int kBatchRows = 250;
constexpr qsizetype kMaxLine = 4096;

QString batchStatement(const QString &table, int rows)
{
    QString sql = QStringLiteral("INSERT INTO %1 (name, position) VALUES ").arg(table);
    for (int i = 0; i < rows; ++i)
        sql += i ? QStringLiteral(",(?,?)") : QStringLiteral("(?,?)");
    return sql;
}

class Importer {
public:
    Importer(Database &database, QString table)
        : m_db(database.db())
        , m_table(std::move(table))
        , m_full(m_db)
    {
        m_full.prepare(batchStatement(m_table, kBatchRows));
    }

    bool add(const RankRow &row)
    {
        m_names.append(QString::fromLatin1(row.name));
        m_positions.append(row.position);
        return m_names.size() < kBatchRows || flush();
    }

    bool flush()
    {
        if (m_names.isEmpty())
            return true;
        QSqlQuery partial(m_db);
        QSqlQuery &query = m_names.size() == kBatchRows ? m_full : partial;
        if (&query == &partial)
            partial.prepare(batchStatement(m_table, int(m_names.size())));
        for (qsizetype i = 0; i < m_names.size(); ++i) {
            query.bindValue(int(2 * i), m_names[i]);
            query.bindValue(int(2 * i + 1), m_positions[i]);
        }
        m_names.clear();
        m_positions.clear();
        if (!query.exec()) {
            m_error = query.lastError().text();
            return false;
        }
        return true;
    }

    QString error() const { return m_error; }

private:
    QSqlDatabase &m_db;
    QString m_table;
    QSqlQuery m_full;
    QList<QString> m_names;
    QList<qint64> m_positions;
    QString m_error;
};

bool run(QSqlQuery &query, const QString &sql, QString *error)
{
    if (query.exec(sql))
        return true;
    *error = query.lastError().text();
    return false;
}

} // namespace

namespace {

// Empties the table the rows go into; false with the error. SQLite readers
// keep seeing the old rows until the commit (WAL), so the table is emptied in
// place; PostgreSQL fills a new table and swaps it in, so lookups are not
// blocked for the length of the import.
bool prepareTable(Database &database, QSqlQuery &query, QString *error)
{
    return database.isPostgres() ? run(query, QStringLiteral("DROP TABLE IF EXISTS ranks_new"), error)
                    && run(query,
                           QStringLiteral("CREATE TABLE ranks_new (name TEXT NOT NULL, position BIGINT NOT NULL)"),
                           error)
                                 : run(query, QStringLiteral("DROP INDEX IF EXISTS ranks_name"), error)
                    && run(query, QStringLiteral("DELETE FROM ranks"), error);
}

// Indexes the new rows and, on PostgreSQL, puts their table in the old one's place.
bool finishTable(Database &database, QSqlQuery &query, QString *error)
{
    return database.isPostgres() ? run(query, QStringLiteral("CREATE INDEX ranks_new_name ON ranks_new (name)"), error)
                    && run(query, QStringLiteral("DROP TABLE ranks"), error)
                    && run(query, QStringLiteral("ALTER TABLE ranks_new RENAME TO ranks"), error)
                    && run(query, QStringLiteral("ALTER INDEX ranks_new_name RENAME TO ranks_name"), error)
                                 : run(query, QStringLiteral("CREATE INDEX ranks_name ON ranks (name)"), error);
}

// Reads up to `top` rows into the importer; false with the error (a bad
// line names its number).
bool readRows(QIODevice &input, Importer &importer, qint64 top, RanksImportResult &result)
{
    QByteArray line(kMaxLine + 2, Qt::Uninitialized);
    qint64 lineNumber = 0;
    RankRow row;
    QString problem;
    while (result.rows < top) {
        const qint64 length = input.readLine(line.data(), line.size());
        if (length <= 0)
            break;
        ++lineNumber;
        QByteArrayView text(line.constData(), length);
        if (text.endsWith('\n'))
            text.chop(1);
        else if (length > kMaxLine)
            problem = QStringLiteral("the line is longer than %1 bytes").arg(kMaxLine);
        const RankLine kind = problem.isEmpty() ? parseRankLine(text, &row, &problem) : RankLine::Bad;
        if (kind == RankLine::Bad) {
            result.badInput = true;
            result.error = QStringLiteral("line %1: %2").arg(lineNumber).arg(problem);
            return false;
        }
        if (kind == RankLine::Row) {
            if (!importer.add(row)) {
                result.error = importer.error();
                return false;
            }
            ++result.rows;
        }
    }
    return true;
}

// Whether the rows read may replace the `before` rows of the table; when
// not, the result says why.
bool mayReplace(RanksImportResult &result, qint64 before, RanksImportSafety safety)
{
    if (result.rows == 0 ? safety.allowEmpty : result.rows * 2 >= before || safety.allowShrink)
        return true;
    result.refused = true;
    result.error = result.rows == 0
            ? QStringLiteral("the input holds no ranks; the table keeps its %1 rows (--allow-empty to empty it)")
                      .arg(before)
            : QStringLiteral("the input holds %1 ranks, less than half of the %2 in the table; nothing changed "
                             "(--force to replace them)")
                      .arg(result.rows)
                      .arg(before);
    result.rows = 0;
    return false;
}

} // namespace

RanksImportResult importRanks(QIODevice &input, Database &database, qint64 top, RanksImportSafety safety)
{
    RanksImportResult result;
    QSqlDatabase &db = database.db();
    Transaction transaction(db);
    if (!transaction.began()) {
        result.error = db.lastError().text();
        return result;
    }
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM ranks")) || !query.next()) {
        result.error = query.lastError().text();
        return result;
    }
    const qint64 before = query.value(0).toLongLong();
    query.finish();
    if (!prepareTable(database, query, &result.error))
        return result;
    Importer importer(database, database.isPostgres() ? QStringLiteral("ranks_new") : QStringLiteral("ranks"));
    if (!readRows(input, importer, top, result) || !mayReplace(result, before, safety))
        return result;
    if (!importer.flush() || !finishTable(database, query, &result.error)) {
        if (result.error.isEmpty())
            result.error = importer.error();
        result.rows = 0;
        return result;
    }
    if (!transaction.commit()) {
        result.error = db.lastError().text();
        result.rows = 0;
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace yz::server
