#include "server/RanksFile.h"

#include <array>

namespace yz::server {
namespace {

bool parsePosition(QByteArrayView field, qint64 *out)
{
    if (field.isEmpty() || field.size() > 15)
        return false;
    qint64 value = 0;
    for (const char c : field) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    *out = value;
    return value > 0;
}

bool isNameByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_'
            || (c >= 'A' && c <= 'Z');
}

// "1,google.com": the open research top-sites lists' form; a heading line
// ("rank,domain") is skipped.
RankLine parseCsvLine(QByteArrayView line, RankRow *row, QString *error)
{
    const qsizetype comma = line.indexOf(',');
    const QByteArrayView position = line.first(comma);
    const QByteArrayView name = line.sliced(comma + 1).trimmed();
    if (!parsePosition(position.trimmed(), &row->position)) {
        if (position.trimmed().compare("rank", Qt::CaseInsensitive) == 0)
            return RankLine::Skip;
        *error = QStringLiteral("the first column is not a position (a whole number from 1)");
        return RankLine::Bad;
    }
    if (name.isEmpty() || name.size() > 253 || name.contains(',')) {
        *error = QStringLiteral("the domain column is empty, too long or followed by more columns");
        return RankLine::Bad;
    }
    for (const char c : name) {
        if (!isNameByte(c)) {
            *error = QStringLiteral("the domain column holds a character no host name has");
            return RankLine::Bad;
        }
    }
    row->name = name.toByteArray().toLower();
    return RankLine::Row;
}

} // namespace

RankLine parseRankLine(QByteArrayView line, RankRow *row, QString *error)
{
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty() || line.front() == '#')
        return RankLine::Skip;
    if (!line.contains('\t') && line.contains(','))
        return parseCsvLine(line, row, error);
    std::array<QByteArrayView, 6> fields;
    qsizetype count = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= line.size(); ++i) {
        if (i == line.size() || line[i] == '\t') {
            if (count == qsizetype(fields.size())) {
                *error = QStringLiteral("more than six columns");
                return RankLine::Bad;
            }
            fields[size_t(count++)] = line.sliced(start, i - start);
            start = i + 1;
        }
    }
    if (count < 5) {
        *error = QStringLiteral("fewer than five tab-separated columns");
        return RankLine::Bad;
    }
    if (!parsePosition(fields[0], &row->position)) {
        *error = QStringLiteral("the first column is not a position (a whole number from 1)");
        return RankLine::Bad;
    }
    const QByteArrayView reversed = fields[4];
    if (reversed.isEmpty() || reversed.size() > 253) {
        *error = QStringLiteral("the name column is empty or too long");
        return RankLine::Bad;
    }
    for (const char c : reversed) {
        if (!isNameByte(c)) {
            *error = QStringLiteral("the name column holds a character no host name has");
            return RankLine::Bad;
        }
    }
    // "com.example.www" -> "www.example.com", label by label.
    row->name.resize(reversed.size());
    char *out = row->name.data();
    qsizetype end = reversed.size();
    for (qsizetype i = reversed.size() - 1; i >= -1; --i) {
        if (i == -1 || reversed[i] == '.') {
            for (qsizetype j = i + 1; j < end; ++j) {
                const char c = reversed[j];
                *out++ = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
            }
            if (i >= 0)
                *out++ = '.';
            end = i;
        }
    }
    return RankLine::Row;
}

} // namespace yz::server
