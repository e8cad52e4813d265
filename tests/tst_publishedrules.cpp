// Published rules: signed and checked as the clients check them, every
// forged, damaged or replayed file refused with the installed file untouched.
#include "parsers/InstalledRules.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using yz::InstalledRules;
using yz::PublishedRules;

namespace {

PublishedRules signedRules(qint64 version, const QByteArray &content, const QByteArray &secretKey)
{
    PublishedRules r;
    r.version = version;
    r.published = QDateTime(QDate(2026, 12, 8), QTime(6, 0), Qt::UTC);
    r.content = content;
    yz::signPublishedRules(r, secretKey);
    return r;
}

const QByteArray kFixedRule = R"({"baidu": {"count": {"pattern": "结果约([\\d,]+)个", "group": 1}}})";

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestPublishedRules : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { m_keys = yz::generateSigningKeys(); }
    void servedFormRoundTrip();
    void refusedWithTheInstalledFileUntouched_data();
    void refusedWithTheInstalledFileUntouched();
    void precedence();
    void keysTrustedWithoutARebuild();
    void keyRotation();

private:
    yz::SigningKeys m_keys;
};

void TestPublishedRules::servedFormRoundTrip()
{
    const PublishedRules r = signedRules(3, kFixedRule, m_keys.secretKey);
    QString error;
    const std::optional<PublishedRules> back = yz::decodePublishedRules(r.encoded(), &error);
    QVERIFY2(back, qPrintable(error));
    QCOMPARE(back->version, 3);
    QCOMPARE(back->published, r.published);
    QCOMPARE(back->content, kFixedRule);
    QCOMPARE(yz::servedVersion(r.encoded()), QByteArray("3"));
    QCOMPARE(yz::servedVersion("not published rules\nversion 3\n"), QByteArray());
    QVERIFY2(yz::verifyPublishedRules(*back, m_keys.publicKey, &error), qPrintable(error));
    // Without a key nothing is accepted.
    QVERIFY(!yz::verifyPublishedRules(*back, QByteArray(), &error));
}

void TestPublishedRules::refusedWithTheInstalledFileUntouched_data()
{
    QTest::addColumn<QByteArray>("served");
    QTest::addColumn<QString>("reason");
    const yz::SigningKeys other = yz::generateSigningKeys();
    const QByteArray good = signedRules(5, kFixedRule, m_keys.secretKey).encoded();
    QByteArray flippedSignature = good;
    const qsizetype sigAt = good.indexOf("signature ") + 12;
    flippedSignature[sigAt] = flippedSignature[sigAt] == 'A' ? 'B' : 'A';
    QByteArray flippedContent = good;
    flippedContent[flippedContent.size() - 5] = char(flippedContent[flippedContent.size() - 5] ^ 0x01);
    PublishedRules newerVersionClaimed = signedRules(5, kFixedRule, m_keys.secretKey);
    newerVersionClaimed.version = 9; // the signature covers the version
    QTest::newRow("flipped bit in the signature") << flippedSignature << "签名";
    QTest::newRow("flipped bit in the content") << flippedContent << "签名";
    QTest::newRow("version changed after signing") << newerVersionClaimed.encoded() << "签名";
    QTest::newRow("another key") << signedRules(5, kFixedRule, other.secretKey).encoded() << "签名";
    QTest::newRow("replayed older version") << signedRules(1, kFixedRule, m_keys.secretKey).encoded() << "不比";
    QTest::newRow("replayed equal version") << signedRules(2, kFixedRule, m_keys.secretKey).encoded() << "不比";
    QTest::newRow("truncated") << good.left(good.indexOf("\n\n") - 3) << "头部";
    QTest::newRow("10 MB") << good + QByteArray(10 * 1024 * 1024, ' ') << "过大";
    QTest::newRow("rules that fail the checks")
            << signedRules(5, R"({"baidu": {"count": {"pattern": "("}}})", m_keys.secretKey).encoded() << "检查";
    QTest::newRow("not a rules file") << QByteArray("<html>404</html>") << "不是";
}

void TestPublishedRules::refusedWithTheInstalledFileUntouched()
{
    QFETCH(QByteArray, served);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const InstalledRules installed(m_keys.publicKey, dir.filePath(QStringLiteral("sub/published-rules")));
    QString message;
    const QByteArray first = signedRules(2, kFixedRule, m_keys.secretKey).encoded();
    QVERIFY2(installed.install(first, &message), qPrintable(message));
    QVERIFY(!installed.install(served, &message));
    QVERIFY2(message.contains(reason), qPrintable(message));
    QCOMPARE(fileBytes(installed.path()), first);
    QCOMPARE(installed.current()->version, 2);
}

void TestPublishedRules::precedence()
{
    QTemporaryDir dir;
    const InstalledRules installed(m_keys.publicKey, dir.filePath(QStringLiteral("published-rules")));
    yz::ScrapeRules rules;
    QString source, error;
    QVERIFY(yz::loadRulesInForce(QString(), installed, rules, &source, &error));
    QCOMPARE(source, QStringLiteral("内置规则"));
    QString message;
    QVERIFY(installed.install(signedRules(4, kFixedRule, m_keys.secretKey).encoded(), &message));
    QVERIFY(!installed.install(signedRules(4, kFixedRule, m_keys.secretKey).encoded(), &message)); // replayed
    rules = yz::ScrapeRules();
    QVERIFY(yz::loadRulesInForce(QString(), installed, rules, &source, &error));
    QVERIFY2(source.contains(QStringLiteral("版本 4")), qPrintable(source));
    QCOMPARE(rules.counts.scrape(yz::Engine::Baidu, QStringLiteral("结果约1,234个")).value, QStringLiteral("1234"));
    // A rules file comes first.
    const QString file = dir.filePath(QStringLiteral("mine.json"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(R"({"baidu": {"count": {"pattern": "约(\\d+),", "group": 1}}})");
    f.close();
    rules = yz::ScrapeRules();
    QVERIFY(yz::loadRulesInForce(file, installed, rules, &source, &error));
    QCOMPARE(rules.counts.scrape(yz::Engine::Baidu, QStringLiteral("结果约1,234个")).value, QStringLiteral("1"));
    // A file changed on disk after installing is not used.
    QFile tampered(installed.path());
    QVERIFY(tampered.open(QIODevice::Append));
    tampered.write(" ");
    tampered.close();
    QString problem;
    QVERIFY(!installed.current(&problem));
    QVERIFY(problem.contains(QStringLiteral("签名")));
    // Without a key, installed rules are never used.
    const InstalledRules keyless(QByteArray(), installed.path());
    QVERIFY(!keyless.canVerify());
    QVERIFY(!keyless.install(signedRules(9, kFixedRule, m_keys.secretKey).encoded(), &message));
}

// Keys are read from the key directories; `rules trust` copies one into the
// user's, refusing what is no key; a secret line is never taken.
void TestPublishedRules::keysTrustedWithoutARebuild()
{
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());
    const auto write = [&dir](const QString &name, const QByteArray &bytes) {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return f.fileName();
    };
    QString error;
    const QByteArray b64 = m_keys.publicKey.toBase64();
    QCOMPARE(yz::readPublicKeyFile(write(QStringLiteral("bare.pub"), b64 + "\n"), &error), m_keys.publicKey);
    // The file rules keygen writes: its public line, never the secret one.
    const QString keygen =
            write(QStringLiteral("vendor.key"), "secret " + m_keys.secretKey.toBase64() + "\npublic " + b64);
    QCOMPARE(yz::readPublicKeyFile(keygen, &error), m_keys.publicKey);
    for (const QByteArray &bad :
         {QByteArray("not base64!"), QByteArray("AAAA"), QByteArray(), "secret " + m_keys.secretKey.toBase64()}) {
        QVERIFY(!yz::readPublicKeyFile(write(QStringLiteral("bad.pub"), bad), &error));
        QVERIFY2(error.contains(QStringLiteral("不是发布规则的公钥")), qPrintable(error));
    }
    QString installedKey;
    QVERIFY(!yz::trustRulesKey(dir.filePath(QStringLiteral("bad.pub")), &installedKey, &error));
    QVERIFY2(yz::trustRulesKey(keygen, &installedKey, &error), qPrintable(error));
    QCOMPARE(installedKey, yz::userRulesKeyDirectory() + QStringLiteral("/vendor.pub"));
    QVERIFY(!fileBytes(installedKey).contains("secret"));
    const yz::TrustedKeys keys = yz::trustedRulesKeys(QByteArray());
    QVERIFY(!keys.isEmpty());
    QCOMPARE(keys.last().name, installedKey);
    QCOMPARE(keys.last().key, m_keys.publicKey);
    // Rules signed with it are taken up by a client with no key built in.
    const InstalledRules installed(keys, dir.filePath(QStringLiteral("published-rules")));
    QString message, signer;
    QVERIFY2(installed.install(signedRules(1, kFixedRule, m_keys.secretKey).encoded(), &message), qPrintable(message));
    QVERIFY(installed.current(nullptr, &signer));
    QCOMPARE(signer, installedKey);
    qunsetenv("XDG_CONFIG_HOME");
}

// Several keys at once: a new key's rules are accepted while the old one is
// still trusted; rules signed with a key no longer trusted are refused.
void TestPublishedRules::keyRotation()
{
    QTemporaryDir dir;
    const yz::SigningKeys next = yz::generateSigningKeys();
    const yz::TrustedKeys both{{QStringLiteral("old.pub"), m_keys.publicKey},
                               {QStringLiteral("new.pub"), next.publicKey}};
    const QString path = dir.filePath(QStringLiteral("published-rules"));
    QString message, signer;
    const InstalledRules during(both, path);
    QVERIFY2(during.install(signedRules(1, kFixedRule, m_keys.secretKey).encoded(), &message), qPrintable(message));
    QVERIFY2(during.install(signedRules(2, kFixedRule, next.secretKey).encoded(), &message), qPrintable(message));
    QVERIFY(during.current(nullptr, &signer));
    QCOMPARE(signer, QStringLiteral("new.pub"));
    // The old key removed: its rules are refused, the new key's still read.
    const InstalledRules after({{QStringLiteral("new.pub"), next.publicKey}}, path);
    QVERIFY(!after.install(signedRules(3, kFixedRule, m_keys.secretKey).encoded(), &message));
    QVERIFY2(message.contains(QStringLiteral("签名")), qPrintable(message));
    QCOMPARE(after.current()->version, 2);
    // The new key removed instead: what it signed is no longer used.
    const InstalledRules revoked({{QStringLiteral("old.pub"), m_keys.publicKey}}, path);
    QString problem;
    QVERIFY(!revoked.current(&problem));
    QVERIFY2(problem.contains(QStringLiteral("签名")), qPrintable(problem));
}

QTEST_GUILESS_MAIN(TestPublishedRules)
#include "tst_publishedrules.moc"
