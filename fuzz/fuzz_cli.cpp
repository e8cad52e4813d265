// The command-line front end's output of hostile values, its endpoints file
// and its rules file. Page text reaches the terminal and scripts through these: the plain
// report must carry no control characters, the JSON report must stay one line
// that reads back to the same values, and a refused endpoints file must leave
// the host table as it was.
#include "FuzzInput.h"
#include "cli/ResultOutput.h"
#include "parsers/RulesFile.h"
#include "query/ResultSheet.h"
#include "services/Endpoints.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

bool isForbidden(char16_t u)
{
    return u < 0x20 || (u >= 0x7F && u <= 0x9F) || (u >= 0x2028 && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
}

// Value cells and domain information from the pieces of the text; headings
// stay those of the real grids.
yz::cli::DomainResult resultFrom(const QStringList &pieces)
{
    qsizetype next = 0;
    auto piece = [&] { return pieces[next++ % pieces.size()]; };
    yz::ResultSheet sheet;
    yz::cli::DomainResult result;
    result.domain = piece();
    result.groups = {true, true, true, true, true};
    for (int g = 0; g < yz::kGridCount; ++g) {
        const yz::GridShape shape = yz::ResultSheet::shape(yz::Grid(g));
        for (int r = 0; r < shape.rows; ++r) {
            QStringList row;
            for (int c = 0; c < shape.cols; ++c)
                row << (r > 0 && c > 0 ? piece() : sheet.cell(yz::Grid(g), r, c));
            result.grids[size_t(g)] << row;
        }
    }
    for (QString &info : result.info)
        info = piece();
    result.finalDomain = piece();
    return result;
}

void checkPlain(const yz::cli::DomainResult &result)
{
    const QString plain = yz::cli::plainReport(result);
    for (const QChar c : plain)
        yzfuzz::check(c == u'\n' || !isForbidden(c.unicode()), "plain report without control characters");
}

void checkJson(const yz::cli::DomainResult &result)
{
    const QByteArray json = yz::cli::jsonReport(result);
    yzfuzz::check(json.endsWith('\n') && json.count('\n') == 1, "JSON report on one line");
    QJsonParseError error;
    const QJsonObject o = QJsonDocument::fromJson(json, &error).object();
    yzfuzz::check(error.error == QJsonParseError::NoError, "JSON report parses");
    yzfuzz::check(o.value(QStringLiteral("domain")).toString() == result.domain, "domain reads back");
    yzfuzz::check(o.value(QStringLiteral("finalDomain")).toString() == result.finalDomain, "final domain reads back");
    for (int g = 0; g < yz::kGridCount; ++g) {
        const QList<QStringList> &cells = result.grids[size_t(g)];
        const QJsonObject grid = o.value(yz::ResultSheet::gridName(yz::Grid(g))).toObject();
        for (qsizetype r = 1; r < cells.size(); ++r) {
            const QJsonObject row = cells.size() == 2 ? grid : grid.value(cells[r][0]).toObject();
            for (qsizetype c = 1; c < cells[r].size(); ++c)
                yzfuzz::check(row.value(cells[0][c]).toString() == cells[r][c], "cell reads back");
        }
    }
}

void checkEndpoints(const QByteArray &bytes)
{
    yz::ServiceHosts hosts;
    const yz::ServiceHosts before = hosts;
    QString error;
    const bool applied = yz::applyEndpoints(bytes, hosts, &error);
    yzfuzz::check(applied || !error.isEmpty(), "a refusal says why");
    for (int s = 0; s < yz::kServiceCount; ++s) {
        const QString base = hosts.base(yz::Service(s));
        if (!applied)
            yzfuzz::check(base == before.base(yz::Service(s)), "a refused file changes nothing");
        yzfuzz::check(base.startsWith(QStringLiteral("http://")) || base.startsWith(QStringLiteral("https://")),
                      "every base stays an http(s) address");
    }
}

// A rules file is taken whole or not at all, and whatever it says, pages are
// read with it without harm.
void checkRules(const QByteArray &bytes)
{
    yz::ScrapeRules rules;
    QString error;
    const bool applied = yz::applyRules(bytes, rules, &error);
    yzfuzz::check(applied || !error.isEmpty(), "a refused rules file says why");
    if (!applied) {
        yzfuzz::check(rules.addresses.isEmpty(), "a refused rules file changes no address");
        for (int e = 0; e < yz::kEngineCount; ++e)
            yzfuzz::check(rules.counts.rule(yz::Engine(e)).pattern
                                  == yz::CountRules::builtInRule(yz::Engine(e)).pattern,
                          "a refused rules file changes no pattern");
        return;
    }
    const QString page = QString::fromUtf8(bytes);
    for (int e = 0; e < yz::kEngineCount; ++e)
        (void)rules.counts.scrape(yz::Engine(e), page).value;
    for (auto it = rules.addresses.cbegin(); it != rules.addresses.cend(); ++it)
        yzfuzz::check(it->contains(u"{domain}"), "every accepted template holds the domain");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = yzfuzz::bytesOf(data, size);
    checkEndpoints(bytes);
    checkRules(bytes);

    // The same bytes as raw UTF-16 (lone surrogates included) for the
    // character filter, and as UTF-8 text cut at tabs for a whole result.
    const QString units = QString::fromUtf16(reinterpret_cast<const char16_t *>(data), qsizetype(size / 2));
    const QString shown = yz::cli::printable(units);
    yzfuzz::check(shown.size() == units.size(), "one character for each");
    for (qsizetype i = 0; i < units.size(); ++i)
        yzfuzz::check(isForbidden(units[i].unicode()) ? shown[i] == QChar(0xFFFD) : shown[i] == units[i],
                      "only forbidden characters replaced");
    const int width = yz::cli::displayWidth(shown);
    yzfuzz::check(width >= 0 && width <= 2 * int(shown.size()), "display width within bounds");

    const yz::cli::DomainResult result = resultFrom(yzfuzz::textOf(data, size).split(u'\t'));
    checkPlain(result);
    checkJson(result);
    return 0;
}
