#include "cli/PageArchive.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace yz::cli {

PageArchive::PageArchive(QString dir)
    : m_dir(std::move(dir))
{
}

bool PageArchive::prepare(QString *error)
{
    if (QDir().mkpath(m_dir))
        return true;
    *error = QStringLiteral("无法创建目录：%1").arg(m_dir);
    return false;
}

// Letters, digits, "." and "-" of the domain (others become "_"), at most 100
// of them, no leading dot; a number is added when another domain of the run
// already has that stem.
QString PageArchive::baseName(const QString &domain)
{
    if (const auto it = m_baseOf.constFind(domain); it != m_baseOf.constEnd())
        return *it;
    QString stem;
    for (const QChar c : domain.left(100))
        stem += (c.isLetterOrNumber() && c.unicode() < 128) || c == u'-' || c == u'.' ? c : u'_';
    if (stem.isEmpty() || stem.startsWith(u'.'))
        stem.prepend(u'_');
    QString unique = stem;
    for (int n = 2; m_domainOf.contains(unique); ++n)
        unique = stem + u'~' + QString::number(n);
    m_domainOf.insert(unique, domain);
    m_baseOf.insert(domain, unique);
    return unique;
}

SavedPage PageArchive::write(const QString &domain, const QString &row, const PageAnswer &answer)
{
    SavedPage page;
    page.domain = domain;
    page.row = row;
    page.address = answer.asked.toString(QUrl::FullyEncoded);
    page.status = answer.status;
    const QString name = baseName(domain) + u'_' + row + QStringLiteral(".html");
    QSaveFile file(QDir(m_dir).filePath(name));
    if (file.open(QIODevice::WriteOnly) && file.write(answer.body) == answer.body.size() && file.commit())
        page.file = name;
    return page;
}

bool PageArchive::writeIndex(QString *error) const
{
    QJsonArray entries;
    for (const SavedPage &p : m_index)
        entries.append(QJsonObject{{QStringLiteral("domain"), p.domain},
                                   {QStringLiteral("row"), p.row},
                                   {QStringLiteral("address"), p.address},
                                   {QStringLiteral("status"), p.status},
                                   {QStringLiteral("cause"), p.cause},
                                   {QStringLiteral("file"), p.file}});
    QSaveFile file(QDir(m_dir).filePath(QStringLiteral("index.json")));
    const QByteArray json = QJsonDocument(entries).toJson(QJsonDocument::Indented);
    if (file.open(QIODevice::WriteOnly) && file.write(json) == json.size() && file.commit())
        return true;
    *error = QStringLiteral("无法写入 %1：%2").arg(file.fileName(), file.errorString());
    return false;
}

} // namespace yz::cli
