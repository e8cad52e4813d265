#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace yz {

// The version number in a version-check answer: the whole text, blanks
// around it allowed, as a decimal 32-bit integer; nothing otherwise.
std::optional<qint32> parseVersionAnswer(const QString &text);

// A news answer: items separated by kNewsItemSeparator, each a title and an
// address separated by kNewsTitleSeparator.
inline constexpr char16_t kNewsItemSeparator[] = u"{L|G}";
inline constexpr char16_t kNewsTitleSeparator[] = u"[L|G]";
struct NewsAnswer {
    QStringList titles; // captions for the news labels 0, 1, ...; labels past the end keep theirs
    QStringList links; // one element per item, empty where no address was read
    bool layOut = false; // whether the labels are to be placed one after the other
};

inline constexpr int kNewsLabelCount = 6;

// Nothing for the empty text. An item without "[L|G]" shows its title and
// ends the reading; items past the sixth are not read. In both cases the
// labels are not laid out again.
std::optional<NewsAnswer> parseNewsAnswer(const QString &text);
// The text of a news answer for (title, address) items: what the service sends.
QString newsAnswerText(const QList<std::pair<QString, QString>> &items);

} // namespace yz
