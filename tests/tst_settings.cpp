// The settings record and file: format, tolerant reading, encodings, the
// newer-version mark and atomic replacement; the window's state in the
// record; the settings dialog, alone and from the main window.
#include "net/BoundedRead.h"
#include "settings/ProxySetting.h"
#include "settings/SettingsEdit.h"
#include "settings/SettingsFile.h"
#include "settings/WindowState.h"
#include "tests/support/StoredSettings.h"
#include "tests/support/WindowUnderTest.h"

#include <QDir>
#include <QFile>
#include <QNetworkProxyFactory>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <tuple>

using yz::Service;
using yz::SettingsFile;
using yz::SettingsRecord;
using yztest::storedSettings;

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
    // The dialogs' tests work on setting.dat in the current directory.
    void initTestCase() { QVERIFY(QDir::setCurrent(m_dir.path())); }
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
    void windowStateRoundTrip();
    void passwordRecordIsPrivate();
    void unwritableSettingsAreReported();
    void settingsEdit();
    void dialogAloneLoadsAndReportsASave();
    void settingsDialogSavesAndReloads();
    void settingsDialogRefusesWhatCannotBeStored();
    void settingsDialogKeepsTheProxy();

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

void TestSettings::windowStateRoundTrip()
{
    using yz::StatisticsProvider;
    using yz::WindowState;
    const SettingsRecord stored = SettingsRecord::parse(QStringLiteral("01111|bbs.a.com|a.com,,b.cn|1,77,p w\r\n"));
    const WindowState state = WindowState::fromRecord(stored);
    QVERIFY(state.hasNew);
    QCOMPARE(state.lastdm, QStringLiteral("bbs.a.com"));
    QCOMPARE(state.dms_arr, (QStringList{"a.com", "", "b.cn"}));
    QCOMPARE(state.tjType, std::optional(StatisticsProvider::La51));
    const yz::StoredBoxes boxes = WindowState::boxesOf(stored);
    QVERIFY(!boxes.common && boxes.rank && boxes.recent && boxes.trend);
    // Back into the record unchanged, byte for byte.
    QCOMPARE(state.toRecord(boxes).serialize(), stored.serialize());

    // The fifth flag means a newer version only as "1"; the trend box only as 1.
    const SettingsRecord odd = SettingsRecord::parse(QStringLiteral("10029|x|x|2,5,p"));
    const WindowState oddState = WindowState::fromRecord(odd);
    QVERIFY(!oddState.hasNew);
    QVERIFY(!WindowState::boxesOf(odd).trend);
    QVERIFY(!oddState.tjType); // an unknown provider type
    QCOMPARE(oddState.toRecord(WindowState::boxesOf(odd)).flags, QStringLiteral("10000"));
    // A record without an account leaves the provider unset.
    QVERIFY(!WindowState::fromRecord(SettingsRecord::defaults()).tjType);
    QCOMPARE(WindowState::fromRecord(SettingsRecord::defaults()).toRecord({true, false, false, false}),
             SettingsRecord::defaults());
}

void TestSettings::passwordRecordIsPrivate()
{
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
    SettingsRecord record = SettingsRecord::defaults();
    record.tjStr = QStringLiteral("0,12,secret");
    QVERIFY(SettingsFile(m_path).write(record));
    QCOMPARE(QFile::permissions(m_path) & others, QFile::Permissions());
    QVERIFY(QFile::permissions(m_path) & QFile::ReadOwner);
    // Replacing it keeps it private.
    record.lastdm = QStringLiteral("again.com");
    QVERIFY(SettingsFile(m_path).write(record));
    QCOMPARE(QFile::permissions(m_path) & others, QFile::Permissions());
    QCOMPARE(readBytes(m_path), QByteArray("10000|again.com|www.example.com|0,12,secret\r\n"));
}

void TestSettings::unwritableSettingsAreReported()
{
    // A directory where the record should be: nothing can be written (as
    // root, permissions would not stop the program).
    QTemporaryDir here;
    QVERIFY(QDir::setCurrent(here.path()));
    QVERIFY(QDir().mkdir(QStringLiteral("setting.dat")));
    QString reason;
    QVERIFY(!SettingsFile().write(SettingsRecord::defaults(), &reason));
    QVERIFY(!reason.isEmpty());
    const QString message = SettingsFile().writeFailureMessage(reason);
    QVERIFY(message.contains(QDir(here.path()).filePath(QStringLiteral("setting.dat"))));
    {
        yztest::WindowRig rig;
        rig.window.startUp();
        QTest::mouseClick(rig.window.dmset, Qt::LeftButton);
        yztest::SettingsDialogUnderTest dialog(rig.window.settingsDialog());
        dialog.dmsbox->setPlainText(QStringLiteral("kept.com"));
        QTest::mouseClick(dialog.Command1, Qt::LeftButton);
        // The dialog says so and stays open with what was typed.
        QCOMPARE(rig.messages, QStringList{QStringLiteral("提示:") + message});
        QVERIFY(rig.window.settingsDialog() && dialog.form->isVisible());
        QCOMPARE(dialog.dmsbox->toPlainText(), QStringLiteral("kept.com"));
        // Shut-down says it once, then closes.
        rig.window.close();
        rig.window.close();
        QCOMPARE(rig.messages.size(), 2);
        QCOMPARE(rig.messages[1], rig.messages[0]);
    }
    QVERIFY(QDir::setCurrent(m_dir.path()));
}

void TestSettings::dialogAloneLoadsAndReportsASave()
{
    writeBytes(m_path, "10000|x|one.com,two.com|0,42,pw\r\n");
    QStringList messages;
    Form2 form(
            SettingsFile(m_path), [&](const QString &t, const QString &m, const QString &) { messages << t + m; },
            nullptr);
    yztest::SettingsDialogUnderTest dialog(&form);
    QCOMPARE(dialog.dmsbox->toPlainText(), QStringLiteral("one.com\ntwo.com"));
    QVERIFY(dialog.Option2->isChecked());
    QCOMPARE(dialog.tongjiidv->text(), QStringLiteral("42"));
    QSignalSpy saved(&form, &Form2::saved);
    dialog.tongjiidv->setText(QStringLiteral("x"));
    QTest::mouseClick(dialog.Command1, Qt::LeftButton);
    QCOMPARE(saved.size(), 0);
    QCOMPARE(messages, QStringList{QStringLiteral("提示统计ID必须是整数。")});
    dialog.tongjiidv->setText(QStringLiteral(" 7"));
    dialog.dmsbox->setPlainText(QStringLiteral("three.org"));
    QTest::mouseClick(dialog.Command1, Qt::LeftButton);
    QCOMPARE(saved.size(), 1);
    const auto edit = saved[0][0].value<yz::SettingsEdit>();
    QCOMPARE(edit.joined, QStringLiteral("three.org"));
    QCOMPARE(edit.account, QStringLiteral("0,7,pw"));
    QCOMPARE(saved[0][1].toString(), QStringLiteral(" 7"));
    // Saving is the opener's job: the dialog alone writes nothing.
    QCOMPARE(readBytes(m_path), QByteArray("10000|x|one.com,two.com|0,42,pw\r\n"));
}

// The proxy field: checked, kept in the window's own settings (not in the
// settings record, whose layout stays), taken up at once, shown again.
void TestSettings::settingsDialogKeepsTheProxy()
{
    writeBytes(m_path, "10000|x|one.com|\r\n");
    QStringList messages;
    const auto record = [&](const QString &t, const QString &m, const QString &) { messages << t + m; };
    const QUrl engine(QStringLiteral("http://www.baidu.com/s?wd=x"));
    {
        Form2 form(SettingsFile(m_path), record, nullptr);
        auto *proxy = form.findChild<QLineEdit *>(QStringLiteral("proxyv"));
        QVERIFY(proxy);
        proxy->setText(QStringLiteral("https://proxy.example:443"));
        QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("Command1")), Qt::LeftButton);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.first().contains(QStringLiteral("不支持经 TLS 连接的代理")), qPrintable(messages.first()));
        QCOMPARE(yz::storedProxy(), QString());
        proxy->setText(QStringLiteral(" http://user:pw@127.0.0.1:3128 "));
        QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("Command1")), Qt::LeftButton);
        QCOMPARE(messages.size(), 1);
    }
    QCOMPARE(yz::storedProxy(), QStringLiteral("http://user:pw@127.0.0.1:3128"));
    QList<QNetworkProxy> used = QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(engine));
    QCOMPARE(used.value(0).type(), QNetworkProxy::HttpProxy);
    QCOMPARE(used.value(0).port(), quint16(3128));
    QCOMPARE(used.value(0).user(), QStringLiteral("user"));
    // The settings record is untouched by it.
    QVERIFY(!readBytes(m_path).contains("3128"));
    {
        Form2 again(SettingsFile(m_path), record, nullptr);
        auto *proxy = again.findChild<QLineEdit *>(QStringLiteral("proxyv"));
        QCOMPARE(proxy->text(), QStringLiteral("http://user:pw@127.0.0.1:3128"));
        proxy->clear();
        QTest::mouseClick(again.findChild<QPushButton *>(QStringLiteral("Command1")), Qt::LeftButton);
    }
    QCOMPARE(yz::storedProxy(), QString());
    used = QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(engine));
    QVERIFY(used.isEmpty() || used.first().type() != QNetworkProxy::HttpProxy || used.first().port() != 3128);
}

void TestSettings::settingsEdit()
{
    yz::SettingsEdit e = yz::makeSettingsEdit(QStringLiteral("a.com\nb.com\nc.com"), QString(), QString(), true);
    QVERIFY(e.ok);
    QCOMPARE(e.joined, QStringLiteral("a.com,b.com,c.com"));
    QCOMPARE(e.lineCount, 3);
    e = yz::makeSettingsEdit(QStringLiteral("a.com\n\n b.com\n"), QString(), QString(), true);
    QCOMPARE(e.joined, QStringLiteral("a.com, b.com"));
    QCOMPARE(e.lineCount, 4);
    e = yz::makeSettingsEdit(QString(), QStringLiteral(" 0123"), QStringLiteral(" pw "), false);
    QCOMPARE(e.joined, QStringLiteral("www.example.com"));
    QCOMPARE(e.account, QStringLiteral("1,123, pw "));
    e = yz::makeSettingsEdit(QString(), QStringLiteral("12"), QStringLiteral("   "), true);
    QVERIFY(e.ok && !e.hasAccount && e.account.isEmpty());
    for (const auto &[domains, id, pass] :
         {std::tuple("a|b.com", "", ""), std::tuple("a.com", "1,2", "p"), std::tuple("a.com", "12", "p|q"),
          std::tuple("a.com", "12x", "p"), std::tuple("a.com", "99999999999", "p")}) {
        e = yz::makeSettingsEdit(QString::fromUtf8(domains), QString::fromUtf8(id), QString::fromUtf8(pass), true);
        QVERIFY2(!e.ok && !e.error.isEmpty(), domains);
    }
}

void TestSettings::settingsDialogSavesAndReloads()
{
    yztest::FakeServices services;
    yztest::WindowUnderTest w(services.hosts());
    QStringList messages;
    w.messageBox = [&](const QString &t, const QString &m, const QString &) { messages << t + u':' + m; };
    w.startUp();
    QTest::mouseClick(w.dmset, Qt::LeftButton);
    QVERIFY(w.settingsDialog() && w.settingsDialog()->isVisible());
    auto dialog = std::make_unique<yztest::SettingsDialogUnderTest>(w.settingsDialog());
    QTest::mouseClick(w.dmset, Qt::LeftButton);
    QCOMPARE(w.findChildren<Form2 *>().size(), 1);
    QCOMPARE(dialog->Label1->font().families(), w.font().families());
    QCOMPARE(dialog->dmsbox->toPlainText(), QStringLiteral("www.example.com"));
    QVERIFY(dialog->Option2->isChecked());
    dialog->dmsbox->setPlainText(QStringLiteral("one.com\ntwo.cn\nthree.net\n"));
    dialog->Option1->setChecked(true);
    dialog->tongjiidv->setText(QStringLiteral(" 0123"));
    dialog->tongjipassv->setText(QStringLiteral("secret"));
    QTest::mouseClick(dialog->Command1, Qt::LeftButton);
    QTRY_VERIFY(!w.settingsDialog());
    QCOMPARE(w.List1->count(), 3);
    QCOMPARE(w.List1->height(), 56); // four lines of 210 twips
    QCOMPARE(w.TJ->text(), QStringLiteral("正在加载统计..."));
    QCOMPARE(storedSettings(), QByteArray("10000|www.example.com|one.com,two.cn,three.net|1,123,secret\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(services[Service::La51].targets().size(), qsizetype(1), 10000);
    QCOMPARE(services[Service::La51].targets()[0],
             QByteArray("/report/0_help.asp?id=%200123&t=chalogin&lookpass=secret"));
    // The prefix test sees the new list.
    w.dm->setText(QStringLiteral("thr"));
    QVERIFY(w.List1->isVisible());

    QTest::mouseClick(w.dmset, Qt::LeftButton);
    dialog = std::make_unique<yztest::SettingsDialogUnderTest>(w.settingsDialog());
    QCOMPARE(dialog->dmsbox->toPlainText(), QStringLiteral("one.com\ntwo.cn\nthree.net"));
    QVERIFY(dialog->Option1->isChecked());
    QCOMPARE(dialog->tongjiidv->text(), QStringLiteral("123"));
    QCOMPARE(dialog->tongjipassv->text(), QStringLiteral("secret"));
    w.close();
    QTRY_VERIFY(!w.settingsDialog());
}

void TestSettings::settingsDialogRefusesWhatCannotBeStored()
{
    yztest::FakeServices services;
    yztest::WindowUnderTest w(services.hosts());
    QStringList messages;
    w.messageBox = [&](const QString &t, const QString &m, const QString &) { messages << t + u':' + m; };
    w.startUp();
    const QByteArray before = storedSettings();
    QTest::mouseClick(w.dmset, Qt::LeftButton);
    yztest::SettingsDialogUnderTest dialog(w.settingsDialog());
    dialog.tongjiidv->setText(QStringLiteral("12ab"));
    dialog.tongjipassv->setText(QStringLiteral("pw"));
    QTest::mouseClick(dialog.Command1, Qt::LeftButton);
    QCOMPARE(messages, QStringList{QStringLiteral("提示:统计ID必须是整数。")});
    QVERIFY(w.settingsDialog() && dialog.form->isVisible());
    QCOMPARE(dialog.tongjiidv->text(), QStringLiteral("12ab"));
    QCOMPARE(storedSettings(), before);
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
