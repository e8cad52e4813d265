// Helper of tst_settingsdurability: saves two records in turn, for ever,
// until it is killed. Prints one line once the first record is saved.
#include "settings/SettingsFile.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const yz::SettingsFile file(QStringLiteral("setting.dat"));
    // Records of different lengths, so that a torn write would show.
    const yz::SettingsRecord records[] = {
            {QStringLiteral("10000"), QStringLiteral("a.com"), QStringLiteral("a.com"), QString()},
            {QStringLiteral("01110"), QStringLiteral("bbbbbbbbbbbbbbbb.example.com.cn"),
             QString(3000, u'x') + QStringLiteral(".cn,中文.cn"), QStringLiteral("0,123456,pw")},
    };
    for (unsigned i = 0;; ++i) {
        if (!file.write(records[i % 2]))
            return 1;
        if (i == 0) {
            std::puts("saving");
            std::fflush(stdout);
        }
    }
}
