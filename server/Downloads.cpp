#include "server/Downloads.h"

#include <QDir>
#include <QRegularExpression>

namespace yz::server {
namespace {

// dpkg's weight of one character of a non-digit run: "~" sorts before the
// end of the string, letters before all other characters.
int weight(QChar c)
{
    if (c == u'~')
        return -1;
    if (c.isLetter())
        return c.unicode();
    return c.unicode() + 256;
}

} // namespace

int compareDebianVersions(const QString &a, const QString &b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        // The non-digit runs, position by position; the end weighs 0.
        while ((i < a.size() && !a[i].isDigit()) || (j < b.size() && !b[j].isDigit())) {
            const int wa = i < a.size() && !a[i].isDigit() ? weight(a[i]) : 0;
            const int wb = j < b.size() && !b[j].isDigit() ? weight(b[j]) : 0;
            if (wa != wb)
                return wa < wb ? -1 : 1;
            if (i < a.size() && !a[i].isDigit())
                ++i;
            if (j < b.size() && !b[j].isDigit())
                ++j;
        }
        // The digit runs as numbers: leading zeros dropped, then the longer
        // run is the larger, else the first different digit decides.
        while (i < a.size() && a[i] == u'0')
            ++i;
        while (j < b.size() && b[j] == u'0')
            ++j;
        qsizetype ea = i, eb = j;
        while (ea < a.size() && a[ea].isDigit())
            ++ea;
        while (eb < b.size() && b[eb].isDigit())
            ++eb;
        if (ea - i != eb - j)
            return ea - i < eb - j ? -1 : 1;
        const int digits = QStringView(a).mid(i, ea - i).compare(QStringView(b).mid(j, eb - j));
        if (digits != 0)
            return digits < 0 ? -1 : 1;
        i = ea;
        j = eb;
    }
    return 0;
}

QString newestPackage(const QString &directory)
{
    static const QRegularExpression versioned(QStringLiteral("^yanzhou_([0-9][A-Za-z0-9.+~-]*)_amd64\\.deb$"));
    const QDir dir(directory);
    QString best;
    QString bestVersion;
    for (const QString &name : dir.entryList({QStringLiteral("yanzhou_*amd64.deb")}, QDir::Files | QDir::Readable)) {
        QString version;
        if (name != QLatin1String("yanzhou_amd64.deb")) {
            const QRegularExpressionMatch match = versioned.match(name);
            if (!match.hasMatch())
                continue;
            version = match.captured(1);
        }
        if (best.isEmpty() || compareDebianVersions(version, bestVersion) > 0) {
            best = dir.filePath(name);
            bestVersion = version;
        }
    }
    return best;
}

} // namespace yz::server
