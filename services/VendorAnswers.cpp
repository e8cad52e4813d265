#include "services/VendorAnswers.h"

namespace yz {

std::optional<qint32> parseVersionAnswer(const QString &text)
{
    bool ok = false;
    const qint32 n = text.trimmed().toInt(&ok, 10);
    return ok ? std::optional<qint32>(n) : std::nullopt;
}

std::optional<NewsAnswer> parseNewsAnswer(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    const QStringList items = text.split(QString::fromUtf16(kNewsItemSeparator));
    NewsAnswer news;
    news.links = QStringList(QList<QString>(items.size()));
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (i >= kNewsLabelCount)
            return news; // no seventh label
        const QStringList parts = items[i].split(QString::fromUtf16(kNewsTitleSeparator));
        news.titles << parts[0];
        if (parts.size() < 2)
            return news;
        news.links[i] = parts[1];
    }
    news.layOut = true;
    return news;
}

QString newsAnswerText(const QList<std::pair<QString, QString>> &items)
{
    QStringList joined;
    for (const auto &[title, address] : items)
        joined.append(title + QString::fromUtf16(kNewsTitleSeparator) + address);
    return joined.join(QString::fromUtf16(kNewsItemSeparator));
}

} // namespace yz
