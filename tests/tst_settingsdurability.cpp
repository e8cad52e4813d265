// The settings file survives being killed mid-save: a child process saves two
// records in turn and is killed at random moments; the file must always hold
// one of them whole.
#include "settings/SettingsFile.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

class TestSettingsDurability : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void killedWhileSaving();
};

void TestSettingsDurability::killedWhileSaving()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray first = "10000|a.com|a.com|\r\n";
    const QByteArray second =
            "01110|bbbbbbbbbbbbbbbb.example.com.cn|" + QByteArray(3000, 'x') + ".cn,中文.cn|0,123456,pw\r\n";
    QRandomGenerator random(2026);
    for (int round = 0; round < 200; ++round) {
        QProcess saver;
        saver.setWorkingDirectory(dir.path());
        saver.start(QStringLiteral(YZ_SAVER));
        QVERIFY(saver.waitForReadyRead(10000)); // the first record is down
        QThread::usleep(random.bounded(3000));
        saver.kill();
        QVERIFY(saver.waitForFinished(10000));
        QFile file(dir.filePath(QStringLiteral("setting.dat")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray stored = file.readAll();
        QVERIFY2(stored == first || stored == second,
                 qPrintable(QStringLiteral("round %1: %2 bytes").arg(round).arg(stored.size())));
    }
}

QTEST_GUILESS_MAIN(TestSettingsDurability)
#include "tst_settingsdurability.moc"
