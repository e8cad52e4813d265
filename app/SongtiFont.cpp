#include "app/SongtiFont.h"

#include <QFontDatabase>
#include <QStringList>

namespace yz {

namespace {

// Starts at the first family of the list that is installed. Qt would find the
// same face from the whole list, but it asks fontconfig for fallbacks of every
// missing family on the way for each new size, which costs a millisecond or
// more at start-up.
QStringList installedSongtiFamilies()
{
    const QStringList wanted{QStringLiteral("宋体"),
                             QStringLiteral("SimSun"),
                             QStringLiteral("NSimSun"),
                             QStringLiteral("WenQuanYi Zen Hei"),
                             QStringLiteral("Noto Sans CJK SC"),
                             QStringLiteral("Noto Serif CJK SC"),
                             QStringLiteral("AR PL UMing CN")};
    const QStringList installed = QFontDatabase::families();
    for (qsizetype i = 0; i < wanted.size(); ++i) {
        if (installed.contains(wanted[i], Qt::CaseInsensitive))
            return wanted.mid(i);
    }
    return wanted;
}

} // namespace

QFont songti(qreal pointSize)
{
    static const QStringList families = installedSongtiFamilies();
    QFont font;
    font.setFamilies(families);
    font.setPointSizeF(pointSize);
    return font;
}

} // namespace yz
