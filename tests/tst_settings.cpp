// The settings record and file: format, tolerant reading, encodings, the
// newer-version mark and atomic replacement.
#include "net/BoundedRead.h"
#include "settings/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using yz::SettingsFile;
using yz::SettingsRecord;

namespace {

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void defaultRecordIsCreated();
    void fieldsAndFlags();
    void accounts();
    void damagedRecordsTakeDefaults_data();
    void damagedRecordsTakeDefaults();
    void gbkFileFromWindows();
    void markingANewerVersionChangesOneCharacter();
    void failedWriteKeepsTheOldFile();
    void boundedReadsStopAtTheirLimit();

private:
    QTemporaryDir m_dir;
    QString m_path;
};

void TestSettings::init()
{
    m_path = m_dir.filePath(QStringLiteral("setting.dat"));
    QFile::remove(m_path);
}

void TestSettings::defaultRecordIsCreated()
{
    SettingsFile file(m_path);
    QVERIFY(!file.exists());
    const SettingsRecord record = file.readOrCreate();
    QCOMPARE(readBytes(m_path), QByteArray("10000|www.example.com|www.example.com|\r\n"));
    QCOMPARE(record, SettingsRecord::defaults());
    QVERIFY(record.flagSet(1) && !record.flagSet(2) && !record.flagSet(5));
    QCOMPARE(record.domainList(), QStringList{QStringLiteral("www.example.com")});
    QVERIFY(!record.hasAccount());
}

void TestSettings::fieldsAndFlags()
{
    const SettingsRecord r = SettingsRecord::parse(QStringLiteral("01101|a.cn|a.cn,b.cn,c.cn|\r\n"));
    QVERIFY(!r.flagSet(1) && r.flagSet(2) && r.flagSet(3) && r.flagSet(5));
    QCOMPARE(r.trendFlag(), 0);
    QCOMPARE(r.domainList(), (QStringList{"a.cn", "b.cn", "c.cn"}));
    QCOMPARE(r.tjStr, QString()); // the line break does not end up in field 3
    QCOMPARE(SettingsRecord::parse(r.serialize()), r);
    QCOMPARE(SettingsRecord::buildFlags(0, 1, 0, 1, QStringLiteral("0")), QStringLiteral("01010"));
}

void TestSettings::accounts()
{
    const SettingsRecord cnzz = SettingsRecord::parse(QStringLiteral("10000|a|a|0,12345,secret\r\n"));
    QCOMPARE(cnzz.accountParts(), (QStringList{"0", "12345", "secret"}));
    // A "," in the password makes four parts: no account.
    QVERIFY(!SettingsRecord::parse(QStringLiteral("10000|a|a|1,12345,se,cret")).hasAccount());
    // A "|" in the password shortens field 3.
    QCOMPARE(SettingsRecord::parse(QStringLiteral("10000|a|a|1,5,p|q")).tjStr, QStringLiteral("1,5,p"));
}

void TestSettings::damagedRecordsTakeDefaults_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("flags");
    QTest::addColumn<QString>("lastdm");
    QTest::addColumn<QString>("dms");
    QTest::addColumn<int>("trend");
    QTest::newRow("empty file") << QByteArray() << "10000"
                                << "www.example.com"
                                << "www.example.com" << 0;
    QTest::newRow("flags only") << QByteArray("011\r\n") << "01100"
                                << "www.example.com"
                                << "www.example.com" << 0;
    QTest::newRow("two fields") << QByteArray("11111|mine.cn") << "11111"
                                << "mine.cn"
                                << "www.example.com" << 1;
    QTest::newRow("non-digit trend flag") << QByteArray("110x0|a|b|") << "110x0"
                                          << "a"
                                          << "b" << 0;
    QTest::newRow("binary") << QByteArray("\x00\xff|\x01", 4) << QString::fromUtf16(u"\u0000\uFFFD000", 5)
                            << QStringLiteral("\x01") << "www.example.com" << 0;
}

void TestSettings::damagedRecordsTakeDefaults()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, flags);
    QFETCH(QString, lastdm);
    QFETCH(QString, dms);
    QFETCH(int, trend);
    writeBytes(m_path, bytes);
    SettingsFile file(m_path);
    const SettingsRecord r = file.readOrCreate();
    QCOMPARE(r.flags, flags);
    QCOMPARE(r.lastdm, lastdm);
    QCOMPARE(r.dms, dms);
    QCOMPARE(r.trendFlag(), trend);
    // What is written next is a valid record again.
    QVERIFY(file.write(r));
    const QByteArray stored = readBytes(m_path);
    QVERIFY(stored.endsWith("\r\n"));
    QCOMPARE(stored.count('|'), 3);
}

void TestSettings::gbkFileFromWindows()
{
    // "10000|砚舟.cn|砚舟.cn|" as a Chinese Windows system writes it.
    writeBytes(m_path, QByteArray("10000|\xD1\xE2\xD6\xDB.cn|\xD1\xE2\xD6\xDB.cn|\r\n"));
    const SettingsRecord r = SettingsFile(m_path).readOrCreate();
    QCOMPARE(r.lastdm, QStringLiteral("砚舟.cn"));
    QVERIFY(SettingsFile(m_path).write(r));
    QCOMPARE(readBytes(m_path), QStringLiteral("10000|砚舟.cn|砚舟.cn|\r\n").toUtf8());
}

void TestSettings::markingANewerVersionChangesOneCharacter()
{
    writeBytes(m_path, "01010|site10.com|a10.com,b0.com|0,10,p0\r\n");
    QVERIFY(SettingsFile(m_path).markNewerVersion());
    QCOMPARE(readBytes(m_path), QByteArray("01011|site10.com|a10.com,b0.com|0,10,p0\r\n"));
}

void TestSettings::failedWriteKeepsTheOldFile()
{
    writeBytes(m_path, "10000|old.com|old.com|\r\n");
    // A directory in the new file's way makes the replacement fail.
    QTemporaryDir blocked;
    const QString inDir = blocked.filePath(QStringLiteral("setting.dat"));
    QVERIFY(QDir().mkpath(inDir));
    SettingsRecord fresh = SettingsRecord::defaults();
    fresh.lastdm = QStringLiteral("new.com");
    QVERIFY(!SettingsFile(inDir).write(fresh));
    QVERIFY(QFileInfo(inDir).isDir());
    // No temporary file is left behind, and the real file is untouched.
    QCOMPARE(QDir(blocked.path()).entryList(QDir::Files), QStringList());
    QVERIFY(SettingsFile(m_path).write(fresh));
    QCOMPARE(readBytes(m_path), QByteArray("10000|new.com|www.example.com|\r\n"));
}

void TestSettings::boundedReadsStopAtTheirLimit()
{
    // Chunks of the reader are 16 KiB: limits on either side of one, and a
    // file smaller than its limit.
    const QByteArray bytes = QByteArray("10000|www.example.com|www.example.com|\r\n").repeated(30000);
    writeBytes(m_path, bytes);
    for (const qint64 limit : {qint64(0), qint64(1), qint64(16 * 1024), qint64(16 * 1024 + 1), qint64(1 << 20),
                               qint64(bytes.size()), qint64(bytes.size()) + 5}) {
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(yz::readAtMost(file, limit), bytes.left(qsizetype(limit)));
    }
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
