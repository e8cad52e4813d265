#include "cli/ResultOutput.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace yz::cli {
namespace {

bool isWide(char32_t u)
{
    return (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0x303E) || (u >= 0x3041 && u <= 0x33FF)
            || (u >= 0x3400 && u <= 0x4DBF) || (u >= 0x4E00 && u <= 0x9FFF) || (u >= 0xA000 && u <= 0xA4CF)
            || (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFE30 && u <= 0xFE4F)
            || (u >= 0xFF00 && u <= 0xFF60) || (u >= 0xFFE0 && u <= 0xFFE6) || (u >= 0x1F300 && u <= 0x1F64F)
            || (u >= 0x1F900 && u <= 0x1F9FF) || (u >= 0x20000 && u <= 0x3FFFD);
}

QString padded(const QString &text, int width)
{
    return text + QString(std::max(0, width - displayWidth(text)), u' ');
}

// tb2's first column holds no heading and is not shown by the window.
int firstShownColumn(Grid grid)
{
    return grid == Grid::Tb2 ? 1 : 0;
}

void appendGrid(QString &out, const QList<QStringList> &cells, Grid grid)
{
    const int first = firstShownColumn(grid);
    const int cols = int(cells.value(0).size());
    QList<int> widths(cols, 0);
    for (const QStringList &row : cells)
        for (int c = first; c < cols; ++c)
            widths[c] = std::max(widths[c], displayWidth(printable(row.value(c))));
    for (const QStringList &row : cells) {
        QString line;
        for (int c = first; c < cols; ++c) {
            if (c > first)
                line += QStringLiteral("  ");
            line += padded(printable(row.value(c)), widths[c]);
        }
        while (line.endsWith(u' '))
            line.chop(1);
        out += line + u'\n';
    }
}

// A cell's value with why it holds it: the cause, the address asked, the
// HTTP status when an HTTP answer came (or the transport status of a request
// that got none), the body's size and the time taken; what does not apply
// is left out.
QJsonObject detailObject(const QString &value, const CellStatus &status)
{
    QJsonObject o{{QStringLiteral("value"), value}, {QStringLiteral("status"), status.name()}};
    if (!status.address.isEmpty())
        o.insert(QStringLiteral("address"), status.address);
    if (!status.reason.isEmpty())
        o.insert(QStringLiteral("reason"), status.reason);
    if (status.http != 0)
        o.insert(QStringLiteral("http"), status.http);
    else if (status.cause == CellStatus::Cause::Failed)
        o.insert(QStringLiteral("transport"), status.transport);
    if (status.bytes >= 0)
        o.insert(QStringLiteral("bytes"), status.bytes);
    if (status.ms >= 0)
        o.insert(QStringLiteral("ms"), status.ms);
    return o;
}

// A grid's values; with `statuses`, each value as its detail object.
QJsonObject gridObject(const QList<QStringList> &cells, const QList<QList<CellStatus>> *statuses)
{
    // One value row: keyed by column heading; otherwise by row, then column.
    QJsonObject object;
    const QStringList &headings = cells.value(0);
    auto rowObject = [&](qsizetype r) {
        QJsonObject o;
        for (qsizetype c = 1; c < headings.size(); ++c) {
            const QString value = cells[r].value(c);
            if (!statuses) {
                o.insert(headings[c], value);
                continue;
            }
            o.insert(headings[c], detailObject(value, statuses->value(r).value(c)));
        }
        return o;
    };
    if (cells.size() == 2)
        return rowObject(1);
    for (qsizetype r = 1; r < cells.size(); ++r)
        object.insert(cells[r].value(0), rowObject(r));
    return object;
}

// The cells of a result as CSV columns: (heading, value), in grid order;
// with `detail`, each followed by its status, address, size and time columns.
QList<std::pair<QString, QString>> csvCells(const DomainResult &result, bool detail)
{
    QList<std::pair<QString, QString>> cells{{QStringLiteral("域名"), result.domain}};
    const auto add = [&](const QString &name, const QString &value, const CellStatus &s) {
        cells.append({name, value});
        if (detail) {
            cells.append({name + QStringLiteral(" 状态"), s.summary()});
            cells.append({name + QStringLiteral(" 地址"), s.address});
            cells.append({name + QStringLiteral(" 字节"), s.bytes < 0 ? QString() : QString::number(s.bytes)});
            cells.append({name + QStringLiteral(" 毫秒"), s.ms < 0 ? QString() : QString::number(s.ms)});
        }
    };
    for (const GridCell &cell : result.gridCells())
        add(cell.name, cell.value, cell.status);
    // The domain-information texts keep their plain columns; the detail
    // columns follow all of them.
    cells.append({kWhoisHeading, result.info[size_t(InfoText::WhoisDates)]});
    cells.append({kArchiveHeading, result.info[size_t(InfoText::ArchiveDate)]});
    if (detail) {
        for (const auto &[name, which] :
             {std::pair{kWhoisHeading, InfoText::WhoisDates}, std::pair{kArchiveHeading, InfoText::ArchiveDate}}) {
            const qsizetype before = cells.size();
            add(name, QString(), result.infoStatuses[size_t(which)]);
            cells.remove(before); // the value column is already there
        }
    }
    return cells;
}

} // namespace

void writeText(std::FILE *stream, const QString &text)
{
    writeBytes(stream, text.toUtf8());
}

void writeBytes(std::FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

QByteArray csvHeader(const DomainResult &result, bool detail)
{
    QStringList headings;
    for (const auto &[heading, value] : csvCells(result, detail))
        headings.append(heading);
    // The byte-order mark lets a spreadsheet on a Chinese system read UTF-8.
    return "\xEF\xBB\xBF" + csvLine(headings);
}

QByteArray csvRow(const DomainResult &result, bool detail)
{
    QStringList values;
    for (const auto &[heading, value] : csvCells(result, detail))
        values.append(value);
    return csvLine(values);
}

int displayWidth(QStringView text)
{
    int width = 0;
    for (char32_t u : text.toUcs4()) {
        const auto category = QChar::category(u);
        if (category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing || u == 0x200B)
            continue;
        width += isWide(u) ? 2 : 1;
    }
    return width;
}

QString plainReport(const DomainResult &result)
{
    QString out = QStringLiteral("== %1 ==\n").arg(printable(result.domain));
    for (int g = 0; g < kGridCount; ++g) {
        if (!result.groups.ranGrid(Grid(g)))
            continue;
        appendGrid(out, result.grids[size_t(g)], Grid(g));
        out += u'\n';
    }
    if (result.groups.info) {
        const auto &info = result.info;
        QString line = QStringLiteral("域名信息  ") + printable(info[size_t(InfoText::WhoisDates)]);
        if (const QString caption = info[size_t(InfoText::ArchiveCaption)]; !caption.isEmpty())
            line += QStringLiteral("  ") + printable(caption) + u' ' + printable(info[size_t(InfoText::ArchiveDate)]);
        out += line.trimmed() + u'\n';
    }
    if (!result.trendFile.isEmpty())
        out += QStringLiteral("趋势图  ") + printable(result.trendFile) + u'\n';
    return out;
}

QByteArray jsonReport(const DomainResult &result, bool detail)
{
    QJsonObject o;
    o.insert(QStringLiteral("domain"), result.domain);
    for (int g = 0; g < kGridCount; ++g)
        o.insert(ResultSheet::gridName(Grid(g)),
                 gridObject(result.grids[size_t(g)], detail ? &result.statuses[size_t(g)] : nullptr));
    for (const auto &[key, which] : {std::pair{QStringLiteral("dminfo"), InfoText::WhoisDates},
                                     std::pair{QStringLiteral("dminfo3"), InfoText::ArchiveDate}}) {
        const QString &value = result.info[size_t(which)];
        o.insert(key, detail ? QJsonValue(detailObject(value, result.infoStatuses[size_t(which)])) : QJsonValue(value));
    }
    o.insert(QStringLiteral("finalDomain"), result.finalDomain);
    if (!result.trendFile.isEmpty())
        o.insert(QStringLiteral("trend"), result.trendFile);
    o.insert(QStringLiteral("requests"),
             QJsonObject{{QStringLiteral("started"), result.started}, {QStringLiteral("answered"), result.answered}});
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace yz::cli
