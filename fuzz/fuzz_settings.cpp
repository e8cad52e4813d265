// A settings file as found on disk, and the settings dialog's fields.
#include "FuzzInput.h"
#include "settings/SettingsEdit.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = yzfuzz::bytesOf(data, size);
    const yz::SettingsRecord record = yz::SettingsRecord::parse(yz::decodeSettingsText(bytes));
    (void)record.flag(5);
    (void)record.trendFlag();
    (void)record.domainList();
    // Once written and read, a record stays the same through further saves.
    const yz::SettingsRecord again = yz::SettingsRecord::parse(record.serialize());
    yzfuzz::check(again.serialize() == yz::SettingsRecord::parse(again.serialize()).serialize(),
                  "a written record reads back the same");

    // The dialog's three fields, split from the text at NUL bytes.
    const QList<QByteArray> fields = bytes.split('\0');
    const yz::SettingsEdit edit =
            yz::makeSettingsEdit(QString::fromUtf8(fields.value(0)), QString::fromUtf8(fields.value(1)),
                                 QString::fromUtf8(fields.value(2)), size % 2 == 0);
    if (edit.ok) {
        // An accepted edit never holds what would split the record.
        yzfuzz::check(!edit.joined.contains(u'|') && !edit.account.contains(u'|'), "no | in an accepted edit");
    }
    return 0;
}
