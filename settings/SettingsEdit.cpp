#include "settings/SettingsEdit.h"

#include "settings/DefaultDomain.h"

namespace yz {

SettingsEdit makeSettingsEdit(const QString &domainsText, const QString &siteId, const QString &password, bool cnzz)
{
    SettingsEdit edit;
    QString text = domainsText.isEmpty() ? kDefaultDomain : domainsText;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QStringList lines = text.split(u'\n');
    edit.lineCount = int(lines.size());
    for (const QString &line : lines)
        if (!line.isEmpty())
            edit.entries << line;
    edit.joined = edit.entries.join(u',');
    if (edit.joined.contains(u'|')) {
        edit.error = QStringLiteral("常查询的域名中不能有“|”。");
        return edit;
    }

    edit.hasAccount = !siteId.trimmed().isEmpty() && !password.trimmed().isEmpty();
    if (edit.hasAccount) {
        for (const auto &[field, value] :
             {std::pair(QStringLiteral("统计ID"), siteId), std::pair(QStringLiteral("查看密码"), password)}) {
            if (value.contains(u',') || value.contains(u'|')) {
                edit.error = field + QStringLiteral("中不能有“,”或“|”。");
                return edit;
            }
        }
        bool isNumber = false;
        const qint32 id = siteId.trimmed().toInt(&isNumber, 10);
        if (!isNumber) {
            edit.error = QStringLiteral("统计ID必须是整数。");
            return edit;
        }
        edit.type = cnzz ? 0 : 1;
        edit.account = QString::number(edit.type) + u',' + QString::number(id) + u',' + password;
    }
    edit.ok = true;
    return edit;
}

} // namespace yz
