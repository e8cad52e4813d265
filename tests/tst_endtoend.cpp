// The window and the command line against the real vendor's service (the
// other services faked): version, news, the PageRank chain, the trend picture
// and a suggestion, with nothing faked on the vendor's side.
#include "parsers/InstalledRules.h"
#include "parsers/PublishedRules.h"
#include "tests/support/CliProcess.h"
#include "tests/support/SamplePages.h"
#include "tests/support/ServerUnderTest.h"
#include "tests/support/WindowUnderTest.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using yz::Service;

namespace {

const QString kDomain = QStringLiteral("www.example.com");

void admin(const QString &db, const QStringList &args, const QByteArray &input = {})
{
    const yztest::CommandResult result = yztest::serverCommand(db, args, input);
    if (result.status != 0)
        qFatal("yanzhou-server %s: %s", qPrintable(args.join(u' ')), result.err.constData());
}

// The body the service answers for a path.
QByteArray served(const yztest::ServingProcess &server, const QByteArray &target)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(server.port()));
    socket.waitForConnected(5000);
    socket.write("GET " + target + " HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n");
    QByteArray data;
    while (socket.waitForReadyRead(5000))
        data += socket.readAll();
    return data.mid(data.indexOf("\r\n\r\n") + 4);
}

// The trend picture the service answers for a domain, as the window decodes it.
QImage servedPicture(const yztest::ServingProcess &server, const QString &domain)
{
    return QImage::fromData(served(server, "/yzclientthumb/" + domain.toUtf8() + "_bd1.jpg"), "JPEG");
}

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(QDir::setCurrent(m_dir.path()));
        // Installed rules go to a data directory of this run, for this
        // process and the command lines it starts alike.
        qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toUtf8());
        // Keys trusted by an earlier run of this test are not this run's.
        QDir(yz::userRulesKeyDirectory()).removeRecursively();
        m_db = std::make_unique<yztest::ThrowawayDatabase>(false);
        admin(m_db->url(),
              {QStringLiteral("news"), QStringLiteral("add"), QStringLiteral("砚舟新版"),
               QStringLiteral("http://news.example.com/1")});
        admin(m_db->url(),
              {QStringLiteral("news"), QStringLiteral("add"), QStringLiteral("PR & 收录"),
               QStringLiteral("https://news.example.com/2?a=1&b=2")});
        admin(m_db->url(), {QStringLiteral("ranks"), QStringLiteral("import"), QStringLiteral("-")},
              "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\n1\t1\t1\t1\torg.first\n"
              "40\t1\t1\t1\tcom.example\n");
        for (const auto &[day, count] :
             {std::pair{"2026-10-01", "1200"}, {"2026-11-01", "1800"}, {"2026-12-01", "1500"}})
            admin(m_db->url(),
                  {QStringLiteral("history"), QStringLiteral("add"), kDomain, QString::fromLatin1(day),
                   QString::fromLatin1(count)});
        m_server = std::make_unique<yztest::ServingProcess>(m_db->url());
        QVERIFY(m_server->started());
    }

    void init() { QFile::remove(QStringLiteral("setting.dat")); }

    void windowShowsWhatTheServiceHolds()
    {
        yztest::FakeServices services;
        yz::ServiceHosts hosts = services.hosts();
        hosts.setBase(Service::Vendor, m_server->base());
        yztest::WindowUnderTest w(hosts);
        QStringList messages;
        w.messageBox = [&](const QString &t, const QString &m, const QString &) { messages << t + u':' + m; };
        w.startUp();

        // The news line and its links; the version is the program's own.
        QTRY_COMPARE_WITH_TIMEOUT(w.state().newsLinkArr.size(), qsizetype(2), 10000);
        QCOMPARE(w.AD[0]->text(), QStringLiteral("砚舟新版"));
        QCOMPARE(w.AD[1]->text(), QStringLiteral("PR & 收录"));
        QCOMPARE(w.state().newsLinkArr,
                 (QStringList{QStringLiteral("http://news.example.com/1"),
                              QStringLiteral("https://news.example.com/2?a=1&b=2")}));
        QTRY_COMPARE_WITH_TIMEOUT(w.engine().fetcher().inFlight(), 0, 10000);
        QVERIFY(w.GO->isEnabled());
        QVERIFY(!w.newVerShow->isVisible());

        // The PageRank cell through both requests, and the trend picture
        // drawn from the stored history.
        w.Check1->setChecked(false);
        w.Check2->setChecked(true);
        w.Check3->setChecked(false);
        w.Check4->setChecked(false);
        w.trendGo->setChecked(true);
        w.dm->setText(kDomain);
        QTest::mouseClick(w.GO, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(w.tb2->item(1, 2)->text(), QStringLiteral("8"), 15000);
        const QImage served = servedPicture(*m_server, kDomain);
        QCOMPARE(served.size(), QSize(165, 97));
        // The box shows the picture from its top left corner, as far as it reaches.
        const auto shown = [&] {
            const QImage box = w.Picture1->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
            return box.copy(QRect(QPoint(0, 0), box.size().boundedTo(served.size())));
        };
        const QImage expected = served.convertToFormat(QImage::Format_RGB32);
        QTRY_COMPARE_WITH_TIMEOUT(shown(), expected.copy(QRect(QPoint(0, 0), shown().size())), 10000);
        QVERIFY(shown().width() > 150 && shown().height() > 85);

        // A suggestion typed in 建议 arrives as typed.
        const QString typed = QStringLiteral("中文 & = ~ + 100%\n第二行 <b>x</b>");
        QTest::mouseClick(w.Label1, Qt::LeftButton);
        QVERIFY(w.suggestionDialog());
        yztest::SuggestionDialogUnderTest dialog(w.suggestionDialog());
        dialog.Text1->setPlainText(typed);
        QTest::mouseClick(dialog.Command1, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 1, 10000);
        QVERIFY2(messages[0].contains(QStringLiteral("提交成功")), qPrintable(messages[0]));
        const yztest::CommandResult listed =
                yztest::serverCommand(m_db->url(), {QStringLiteral("suggestions"), QStringLiteral("--json")});
        const QJsonObject stored = QJsonDocument::fromJson(listed.out.trimmed().split('\n').last()).object();
        QCOMPARE(stored.value(QStringLiteral("text")).toString(),
                 QString(typed).replace(u'\n', QStringLiteral("\r\n")));
    }

    void newerVersionOnTheService()
    {
        admin(m_db->url(), {QStringLiteral("version"), QStringLiteral("set"), QStringLiteral("200912231")});
        // The service notices a change made by another process within a
        // moment, not at once.
        QTRY_COMPARE_WITH_TIMEOUT(served(*m_server, "/yzupdate/"), QByteArray("200912231"), 5000);
        yztest::FakeServices services;
        yz::ServiceHosts hosts = services.hosts();
        hosts.setBase(Service::Vendor, m_server->base());
        yztest::WindowUnderTest w(hosts);
        w.startUp();
        QTRY_VERIFY_WITH_TIMEOUT(!w.GO->isEnabled(), 10000);
        QVERIFY(w.newVerShow->isVisible());
        admin(m_db->url(), {QStringLiteral("version"), QStringLiteral("set"), QStringLiteral("200912230")});
    }

    void commandLineTrendAndRank()
    {
        yztest::FakeServices services;
        QJsonObject endpoints = services.endpoints();
        endpoints.insert(QStringLiteral("vendor"), m_server->base());
        QFile file(m_dir.filePath(QStringLiteral("endpoints.json")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(endpoints).toJson());
        file.close();

        QProcess cli;
        QSignalSpy finished(&cli, &QProcess::finished);
        cli.start(QStringLiteral(YZ_CLI),
                  {QStringLiteral("--json"), QStringLiteral("--rank"), QStringLiteral("--trend"),
                   m_dir.filePath(QStringLiteral("pics")), QStringLiteral("--endpoints"), file.fileName(), kDomain});
        QVERIFY(cli.waitForStarted());
        QVERIFY(finished.wait(60000));
        QCOMPARE(cli.exitCode(), 0);
        const QJsonObject result = QJsonDocument::fromJson(cli.readAllStandardOutput()).object();
        QCOMPARE(result.value(QStringLiteral("tb2")).toObject().value(QStringLiteral("PR")).toString(),
                 QStringLiteral("8"));
        const QImage saved(m_dir.filePath(QStringLiteral("pics/www.example.com_bd1.jpg")));
        QCOMPARE(saved, servedPicture(*m_server, kDomain));
    }

    // A rule fixed on the service reaches the command line and the window:
    // signed by the operator's key, fetched, checked and installed, and used
    // by the next run or press. Nothing published: the window's one extra
    // request gets a 404 and nothing else changes.
    void publishedRulesReachTheClients()
    {
        yztest::FakeServices services;
        services[Service::Baidu].setResponse(
                yztest::ok(yztest::gbk(QStringLiteral("<div>百度为您找到相关结果约5,678个</div>"))));
        const QString installedPath = yz::InstalledRules::defaultPath();
        const QString key = m_dir.filePath(QStringLiteral("vendor.key"));
        const yztest::CommandResult keygen = yztest::serverCommand(m_db->url(),
                                                                   {QStringLiteral("rules"), QStringLiteral("keygen"),
                                                                    QStringLiteral("--out"), key});
        QCOMPARE(keygen.status, 0);
        const QString publicKey = QString::fromLatin1(keygen.out.trimmed());
        yz::ServiceHosts hosts = services.hosts();
        hosts.setBase(Service::Vendor, m_server->base());
        QVERIFY(hosts.setRulesKey(publicKey, nullptr));
        const auto pressCommon = [&](yztest::WindowUnderTest &w) {
            w.Check1->setChecked(true);
            w.Check2->setChecked(false);
            w.Check3->setChecked(false);
            w.Check4->setChecked(false);
            w.dm->setText(QStringLiteral("example.com"));
            QTest::mouseClick(w.GO, Qt::LeftButton);
        };
        {
            yztest::WindowUnderTest w(hosts);
            QStringList messages;
            w.messageBox = [&](const QString &t, const QString &m, const QString &) { messages << t + m; };
            w.startUp();
            QTRY_COMPARE_WITH_TIMEOUT(w.state().newsLinkArr.size(), qsizetype(2), 10000);
            QTRY_COMPARE_WITH_TIMEOUT(w.engine().fetcher().inFlight(), 0, 10000);
            QVERIFY(!QFile::exists(installedPath));
            pressCommon(w);
            QTRY_COMPARE_WITH_TIMEOUT(w.tb1->item(1, 1)->text(), QStringLiteral("X"), 10000);
            QVERIFY(messages.isEmpty());
        }

        QFile fixed(m_dir.filePath(QStringLiteral("fixed.json")));
        QVERIFY(fixed.open(QIODevice::WriteOnly));
        fixed.write(R"j({"baidu": {"count": {"pattern": "百度为您找到相关(网页|结果)约?([\\d,]+)(篇|个)"}}})j");
        fixed.close();
        admin(m_db->url(),
              {QStringLiteral("rules"), QStringLiteral("publish"), fixed.fileName(), QStringLiteral("--key"), key});
        QTRY_VERIFY_WITH_TIMEOUT(served(*m_server, "/yzrules/?ver=0").startsWith("yanzhou-rules"), 5000);

        // The command line: rules update, then a run.
        QJsonObject endpoints = services.endpoints();
        endpoints.insert(QStringLiteral("vendor"), m_server->base());
        endpoints.insert(yz::ServiceHosts::rulesKeyName(), publicKey);
        QFile file(m_dir.filePath(QStringLiteral("endpoints-key.json")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(endpoints).toJson());
        file.close();
        const auto cli = [&](const QStringList &args) {
            QProcess process;
            QSignalSpy finished(&process, &QProcess::finished);
            process.start(QStringLiteral(YZ_CLI), args + QStringList{QStringLiteral("--endpoints"), file.fileName()});
            if (!process.waitForStarted() || !finished.wait(60000))
                return yztest::CommandResult{};
            return yztest::CommandResult{process.exitCode(), process.readAllStandardOutput(),
                                         process.readAllStandardError()};
        };
        yztest::CommandResult r = cli({QStringLiteral("rules"), QStringLiteral("update")});
        QVERIFY2(r.status == 0 && r.out.startsWith(QStringLiteral("已安装发布的规则：版本 1").toUtf8()),
                 r.err.constData());
        QVERIFY(QFile::exists(installedPath));
        r = cli({QStringLiteral("rules"), QStringLiteral("update")}); // nothing newer: a 304
        QVERIFY2(r.status == 0 && r.out.startsWith(QStringLiteral("已是最新").toUtf8()), r.out.constData());
        r = cli({QStringLiteral("rules"), QStringLiteral("status")});
        QVERIFY2(r.out.contains(QStringLiteral("发布的规则，版本 1").toUtf8()), r.out.constData());
        r = cli({QStringLiteral("--json"), QStringLiteral("--common"), QStringLiteral("example.com")});
        const QJsonObject run = QJsonDocument::fromJson(r.out).object();
        QCOMPARE(run[QStringLiteral("tb1")][QStringLiteral("收录")][QStringLiteral("Baidu")].toString(),
                 QStringLiteral("5678"));

        // A client built without the key: refused until it trusts the
        // vendor's public key file, then taken up, the key named.
        QVERIFY(QFile::remove(installedPath));
        endpoints.remove(yz::ServiceHosts::rulesKeyName());
        QFile keyless(m_dir.filePath(QStringLiteral("endpoints-keyless.json")));
        QVERIFY(keyless.open(QIODevice::WriteOnly));
        keyless.write(QJsonDocument(endpoints).toJson());
        keyless.close();
        const auto cliKeyless = [&](const QStringList &args, bool withEndpoints = true) {
            QProcess process;
            QSignalSpy finished(&process, &QProcess::finished);
            process.start(QStringLiteral(YZ_CLI),
                          args
                                  + (withEndpoints ? QStringList{QStringLiteral("--endpoints"), keyless.fileName()}
                                                   : QStringList()));
            if (!process.waitForStarted() || !finished.wait(60000))
                return yztest::CommandResult{};
            return yztest::CommandResult{process.exitCode(), process.readAllStandardOutput(),
                                         process.readAllStandardError()};
        };
        r = cliKeyless({QStringLiteral("rules"), QStringLiteral("update")});
        QVERIFY2(r.status == 1 && r.err.contains("rules trust"), r.err.constData());
        QFile pub(m_dir.filePath(QStringLiteral("vendor.pub")));
        QVERIFY(pub.open(QIODevice::WriteOnly));
        pub.write(publicKey.toLatin1() + '\n');
        pub.close();
        r = cliKeyless({QStringLiteral("rules"), QStringLiteral("trust"), pub.fileName()}, false);
        QVERIFY2(r.status == 0, r.err.constData());
        r = cliKeyless({QStringLiteral("rules"), QStringLiteral("update")});
        QVERIFY2(r.status == 0 && r.out.startsWith(QStringLiteral("已安装发布的规则：版本 1").toUtf8()),
                 r.err.constData());
        r = cliKeyless({QStringLiteral("rules"), QStringLiteral("status")});
        QVERIFY2(r.out.contains(QStringLiteral("签名公钥：").toUtf8()) && r.out.contains("rules-keys/vendor.pub"),
                 r.out.constData());

        // The window, started again, fetches the rules itself and reads with them.
        QVERIFY(QFile::remove(installedPath));
        yztest::WindowUnderTest w(hosts);
        w.startUp();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(installedPath), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(w.engine().fetcher().inFlight(), 0, 10000);
        pressCommon(w);
        QTRY_COMPARE_WITH_TIMEOUT(w.tb1->item(1, 1)->text(), QStringLiteral("5678"), 10000);
    }

    // The vendor's first publication: today's engines' rules signed on a
    // workstation, imported where the database is, served, trusted by a
    // client without a rebuild and read with. Forged, replayed, unknown-key
    // and revoked-key files leave the installed file as it was.
    void currentEnginesSetSignedOffline()
    {
        const QString key = m_dir.filePath(QStringLiteral("offline.key"));
        const QString signedFile = m_dir.filePath(QStringLiteral("current.signed"));
        const QString neverMade = m_dir.filePath(QStringLiteral("workstation-has-no.sqlite"));
        yztest::CommandResult r = yztest::serverCommand(neverMade,
                                                        {QStringLiteral("rules"), QStringLiteral("keygen"),
                                                         QStringLiteral("--out"), key});
        QCOMPARE(r.status, 0);
        const QByteArray publicKey = r.out.trimmed();
        r = yztest::serverCommand(neverMade,
                                  {QStringLiteral("rules"), QStringLiteral("sign"), QStringLiteral(YZ_RULES_SET),
                                   QStringLiteral("--key"), key, QStringLiteral("--version"), QStringLiteral("10"),
                                   QStringLiteral("--out"), signedFile});
        QVERIFY2(r.status == 0, r.err.constData());
        QVERIFY(!QFile::exists(neverMade));
        // The server trusts the key as the clients do: a .pub file.
        const QString pub = m_dir.filePath(QStringLiteral("offline.pub"));
        QFile pubFile(pub);
        QVERIFY(pubFile.open(QIODevice::WriteOnly));
        pubFile.write(publicKey + '\n');
        pubFile.close();
        const QString trusted = yz::userRulesKeyDirectory() + QStringLiteral("/offline.pub");
        QVERIFY(QDir().mkpath(yz::userRulesKeyDirectory()));
        QFile::remove(trusted);
        QVERIFY(QFile::copy(pub, trusted));
        r = yztest::serverCommand(m_db->url(), {QStringLiteral("rules"), QStringLiteral("import"), signedFile});
        QVERIFY2(r.status == 0 && r.out == "imported version 10\n", r.err.constData());
        QTRY_VERIFY_WITH_TIMEOUT(served(*m_server, "/yzrules/?ver=0").contains("version 10\n"), 5000);
        QCOMPARE(served(*m_server, "/yzrank/?dm=www.example.com"), QByteArray("TopRank:40\n"));

        // The clients: the fake engines answer in today's shapes; Alexa's
        // row goes to the vendor's service, where the set moves it.
        yztest::FakeServices services;
        const QString utf8 = QStringLiteral("<meta charset=\"utf-8\">%1");
        services[Service::Yahoo].setResponse(
                yztest::ok(utf8.arg(QStringLiteral("<span class=\"sb_count\">约 1,500 个结果</span>")).toUtf8()));
        services[Service::Baidu].setResponse(
                yztest::ok(utf8.arg(QStringLiteral("百度为您找到相关结果约5,678个")).toUtf8()));
        QJsonObject endpoints = services.endpoints();
        endpoints.insert(QStringLiteral("vendor"), m_server->base());
        endpoints.remove(QStringLiteral("alexa"));
        const QString endpointsFile = m_dir.filePath(QStringLiteral("endpoints-current.json"));
        QFile file(endpointsFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(endpoints).toJson());
        file.close();
        const auto cli = [&](QStringList args) {
            return yztest::runCli(QStringLiteral(YZ_CLI), args << QStringLiteral("--endpoints") << endpointsFile);
        };
        QFile::remove(trusted); // the client's trust comes from rules trust
        yztest::CliRun c =
                yztest::runCli(QStringLiteral(YZ_CLI), {QStringLiteral("rules"), QStringLiteral("trust"), pub});
        QVERIFY2(c.exitCode == 0, c.err.constData());
        const QString installedPath = yz::InstalledRules::defaultPath();
        QFile::remove(installedPath);
        c = cli({QStringLiteral("rules"), QStringLiteral("update")});
        QVERIFY2(c.exitCode == 0 && c.out.startsWith(QStringLiteral("已安装发布的规则：版本 10").toUtf8()),
                 c.err.constData());
        c = cli({QStringLiteral("rules"), QStringLiteral("status")});
        QVERIFY2(c.out.contains("rules-keys/offline.pub"), c.out.constData());
        c = cli({QStringLiteral("--json"), QStringLiteral("--common"), QStringLiteral("--rank"), kDomain});
        const QJsonObject run = QJsonDocument::fromJson(c.out).object();
        QCOMPARE(run[QStringLiteral("tb1")][QStringLiteral("收录")][QStringLiteral("必应")].toString(),
                 QStringLiteral("1500"));
        QCOMPARE(run[QStringLiteral("tb1")][QStringLiteral("收录")][QStringLiteral("Baidu")].toString(),
                 QStringLiteral("5678"));
        QCOMPARE(run[QStringLiteral("tb2")][QStringLiteral("站点排名")].toString(), QStringLiteral("40"));

        // The window started now reads with the installed set: its headings
        // are the set's.
        {
            yz::ServiceHosts hosts = services.hosts();
            hosts.setBase(Service::Vendor, m_server->base());
            hosts.setBase(Service::Alexa, QStringLiteral("http://www.alexa.com"));
            yztest::WindowUnderTest w(hosts);
            w.startUp();
            QTRY_COMPARE_WITH_TIMEOUT(w.tb1->item(0, 3)->text(), QStringLiteral("必应"), 10000);
            QCOMPARE(w.tb2->item(0, 3)->text(), QStringLiteral("站点排名"));
            QTRY_COMPARE_WITH_TIMEOUT(w.engine().fetcher().inFlight(), 0, 10000);
        }

        // Files a fake vendor serves instead: none is installed.
        QFile installedFile(installedPath);
        QVERIFY(installedFile.open(QIODevice::ReadOnly));
        const QByteArray installed = installedFile.readAll();
        installedFile.close();
        std::optional<yz::PublishedRules> good = yz::decodePublishedRules(installed, nullptr);
        QVERIFY(good);
        yz::PublishedRules forged = *good;
        forged.version = 11;
        forged.content.replace("必应", "必用");
        yz::PublishedRules replayed = *good;
        replayed.version = 9;
        const yz::SigningKeys stranger = yz::generateSigningKeys();
        yz::PublishedRules unknown = *good;
        unknown.version = 12;
        yz::signPublishedRules(unknown, stranger.secretKey);
        QFile keyFile(key);
        QVERIFY(keyFile.open(QIODevice::ReadOnly));
        QByteArray secret;
        for (const QByteArray &line : keyFile.readAll().split('\n'))
            if (line.startsWith("secret "))
                secret = yz::decodeKey(line.mid(7), 64);
        QVERIFY(!secret.isEmpty());
        yz::signPublishedRules(replayed, secret);
        yztest::FakeServices fakeVendor;
        QJsonObject fakeEndpoints = endpoints;
        fakeEndpoints.insert(QStringLiteral("vendor"), fakeVendor[Service::Vendor].base());
        QFile fakeFile(m_dir.filePath(QStringLiteral("endpoints-fake-vendor.json")));
        QVERIFY(fakeFile.open(QIODevice::WriteOnly));
        fakeFile.write(QJsonDocument(fakeEndpoints).toJson());
        fakeFile.close();
        for (const auto &[what, served, reason] :
             {std::tuple{"forged", forged.encoded(), QStringLiteral("签名")},
              std::tuple{"replayed", replayed.encoded(), QStringLiteral("不比已安装的版本")},
              std::tuple{"unknown key", unknown.encoded(), QStringLiteral("签名")}}) {
            fakeVendor[Service::Vendor].setResponse(yztest::ok(served));
            c = yztest::runCli(QStringLiteral(YZ_CLI),
                               {QStringLiteral("rules"), QStringLiteral("update"), QStringLiteral("--endpoints"),
                                fakeFile.fileName()});
            QVERIFY2(c.exitCode != 0 && QString::fromUtf8(c.err + c.out).contains(reason),
                     qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromUtf8(c.err + c.out))));
            QVERIFY(installedFile.open(QIODevice::ReadOnly));
            QCOMPARE(installedFile.readAll(), installed);
            installedFile.close();
        }
        // The key revoked: the installed rules are no longer used, the file
        // stays for when the key is trusted again.
        QVERIFY(QFile::remove(yz::userRulesKeyDirectory() + QStringLiteral("/offline.pub")));
        c = cli({QStringLiteral("rules"), QStringLiteral("status")});
        QVERIFY2(c.out.contains(QStringLiteral("内置规则").toUtf8()), c.out.constData());
        c = cli({QStringLiteral("--json"), QStringLiteral("--common"), kDomain});
        QVERIFY(QJsonDocument::fromJson(c.out)
                        .object()[QStringLiteral("tb1")][QStringLiteral("收录")]
                        .toObject()
                        .contains(QStringLiteral("Yahoo")));
        QVERIFY(installedFile.open(QIODevice::ReadOnly));
        QCOMPARE(installedFile.readAll(), installed);
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<yztest::ThrowawayDatabase> m_db;
    std::unique_ptr<yztest::ServingProcess> m_server;
};

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
