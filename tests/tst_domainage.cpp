// Root-domain reduction and the registration and first-archive dates.
#include "parsers/DomainAgeParsers.h"
#include "parsers/LowerCase.h"
#include "query/RootDomain.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

class TestDomainAge : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rootDomain_data();
    void rootDomain();
    void whoisDates_data();
    void whoisDates();
    void archiveDate_data();
    void archiveDate();
    void linearScansEqualThePatterns();
    void fastLowerCaseEqualsQts();
};

void TestDomainAge::rootDomain_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // the root, or the message
    QTest::newRow("plain") << "shop.example.com"
                           << "example.com";
    QTest::newRow("two-level suffix") << "bbs.example.com.cn"
                                      << "example.com.cn";
    QTest::newRow("www dropped") << "www.example.com.cn"
                                 << "example.com.cn";
    QTest::newRow("provincial suffix") << "a.b.zj.cn"
                                       << "b.zj.cn";
    QTest::newRow("not in list") << "example.cn"
                                 << "example.cn";
    QTest::newRow("edu.cn is not listed") << "www.pku.edu.cn"
                                          << "edu.cn";
    QTest::newRow("suffix alone") << "com.cn"
                                  << "错误的域名格式2";
    QTest::newRow("address") << "192.168.1.1"
                             << "错误的域名格式1";
    QTest::newRow("address passes") << "10.0.0.10"
                                    << "0.10";
    QTest::newRow("long tld") << "example.museum"
                              << "错误的域名格式1";
    QTest::newRow("info") << "example.info"
                          << "example.info";
    QTest::newRow("trailing blank") << "example.com "
                                    << "错误的域名格式1";
    QTest::newRow("trailing slash") << "example.com/"
                                    << "错误的域名格式1";
    QTest::newRow("path") << "example.com/news"
                          << "错误的域名格式1";
    QTest::newRow("path ending like a host") << "example.com/a.html"
                                             << "a.html";
    QTest::newRow("line break") << "example.com\n"
                                << "错误的域名格式1";
    QTest::newRow("chinese label") << "www.例子.com"
                                   << "错误的域名格式1";
    QTest::newRow("empty") << ""
                           << "错误的域名格式1";
    QTest::newRow("case counts in the list") << "BBS.EXAMPLE.COM.CN"
                                             << "COM.CN";
    QTest::newRow("leftmost match") << "mail.company.com"
                                    << "mail.com";
    QTest::newRow("scheme prefix") << "http://www.example.com"
                                   << "example.com";
}

void TestDomainAge::rootDomain()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const yz::RootDomainResult r = yz::findRootDomain(text);
    QCOMPARE(r.ok ? r.root : r.message, expected);
    QCOMPARE(r.ok, !expected.startsWith(u"错误"));
    QCOMPARE(yz::kRootDomainMessageTitle, QStringLiteral("砚舟提示"));
}

void TestDomainAge::whoisDates_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("expected");
    QTest::newRow("day first") << "Domain: x.com\nCreation Date: 12-Mar-2003\nExpiration Date: 12-Mar-2012\n"
                               << "2003-03-12至2012-03-12";
    QTest::newRow("iso") << "Registration Date: 2004-05-12\r\nExpires on: 2014-5-12"
                         << "2004-05-12至2014-5-12";
    QTest::newRow("not padded") << "Created on: 2003-3-5"
                                << "2003-3-5至Unknown";
    QTest::newRow("short first field is the day") << "created: 05-jan-2004"
                                                  << "2004-01-05至Unknown";
    QTest::newRow("three digits is a year") << "created: 123-jan-05"
                                            << "123-01-05至Unknown";
    QTest::newRow("hyphen before colon") << "Expiry-Date: 2010-01-01"
                                         << "Unknown至Unknown";
    QTest::newRow("slashes") << "Created: 2003/3/5\nexpires: 2010.1.1"
                             << "Unknown至Unknown";
    QTest::newRow("first line wins") << "Record created: 2001-01-01\nRegistered: 1999-09-09"
                                     << "2001-01-01至Unknown";
    QTest::newRow("registrar line format") << "Registrar Registration Expiration Date: 2020-08-13T04:00:00Z\n"
                                              "Creation Date: 1997-08-13T04:00:00Z"
                                           << "2020-08-13至2020-08-13";
    QTest::newRow("failed request") << "404"
                                    << "Unknown至Unknown";
    // Text that is not valid UTF-16 keeps PCRE2's own check, which refuses
    // it: nothing is read from it, and nothing breaks.
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + QStringLiteral("Created: 2003-3-5\nregistered x")
                    + QChar(0xDC00) << "Unknown至Unknown";
}

void TestDomainAge::whoisDates()
{
    QFETCH(QString, page);
    QFETCH(QString, expected);
    QCOMPARE(yz::scrapeWhoisDates(page).value, expected);
}

void TestDomainAge::archiveDate_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first link") << "<a href=\"/web/2004/x\">Mar 05, 2004</a> <a href=\"/y\">Apr 01, 2005</a>"
                                << "2004-03-05";
    QTest::newRow("one-digit day") << "<a href=\"/w\">Mar 5, 2004</a>"
                                   << "NotMatch";
    QTest::newRow("bare tag") << "<a>Mar 05, 2004</a>"
                              << "NotMatch";
    QTest::newRow("later tag matches") << "<a href=1>x</a><a href=2>Dec 31, 1999</a>"
                                       << "1999-12-31";
}

void TestDomainAge::archiveDate()
{
    QFETCH(QString, page);
    QFETCH(QString, expected);
    QCOMPARE(yz::scrapeFirstArchiveDate(page).value, expected);
}

void TestDomainAge::linearScansEqualThePatterns()
{
    // The scans give what the patterns as written give, on mixtures of the pieces.
    const QRegularExpression::PatternOptions o =
            QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption;
    const QRegularExpression reg(
            QStringLiteral("(regist|creat)[a-z\\s\\t ]+:[\\s\\t ]{0,}([0-9]{1,4})\\-([a-z0-9]{1,4})\\-([0-9]{1,4})"),
            o);
    const QRegularExpression
            exp(QStringLiteral("expir[a-z\\s\\t ]+:[\\s\\t ]{0,}([0-9]{1,4})\\-([a-z0-9]{1,4})\\-([0-9]{1,4})"), o);
    const QRegularExpression arc(QStringLiteral("<a[^>]+>([a-z]{3}) (\\d{2}), (\\d{4})<\\/a>"), o);
    const QStringList pieces = {QStringLiteral("creat"),
                                QStringLiteral("expir"),
                                QStringLiteral(" on"),
                                QStringLiteral(":"),
                                QStringLiteral(" "),
                                QStringLiteral("2003-"),
                                QStringLiteral("mar-"),
                                QStringLiteral("12"),
                                QStringLiteral("-"),
                                QStringLiteral("<a"),
                                QStringLiteral(" href=x"),
                                QStringLiteral(">"),
                                QStringLiteral("mar 05, 2004</a>"),
                                QStringLiteral("\n")};
    // The built-in rules' patterns, matched as a user's pattern would be
    // (an empty group in front turns the hand-written scans off).
    yz::DateRules asPatterns;
    for (int v = 0; v < yz::kDateValueCount; ++v) {
        yz::DateRule rule = yz::DateRules::builtInRule(yz::DateValue(v));
        rule.pattern.prepend(QStringLiteral("(?:)"));
        yz::RuleFault fault;
        QVERIFY2(asPatterns.replace(yz::DateValue(v), rule, &fault), qPrintable(fault.reason));
    }
    QRandomGenerator rng(3);
    for (int round = 0; round < 3000; ++round) {
        QString page;
        for (int i = 0; i < 10; ++i)
            page += pieces[rng.bounded(int(pieces.size()))];
        const auto side = [](const QRegularExpressionMatch &m, int first) {
            if (!m.hasMatch())
                return QStringLiteral("Unknown");
            const QString a = m.captured(first);
            QString month = m.captured(first + 1);
            const QString b = m.captured(first + 2);
            yz::monthNumber(month);
            return a.size() > 2 ? a + u'-' + month + u'-' + b : b + u'-' + month + u'-' + a;
        };
        const QString lower = page.toLower();
        QCOMPARE(yz::scrapeWhoisDates(page).value,
                 side(reg.match(lower), 2) + QStringLiteral("至") + side(exp.match(lower), 1));
        const QRegularExpressionMatch a = arc.match(lower);
        QString month = a.captured(1);
        QCOMPARE(yz::scrapeFirstArchiveDate(page).value,
                 a.hasMatch() ? a.captured(3) + u'-' + yz::monthNumber(month) + u'-' + a.captured(2)
                              : QStringLiteral("NotMatch"));
        QCOMPARE(yz::scrapeWhoisDates(page, asPatterns).value, yz::scrapeWhoisDates(page).value);
        QCOMPARE(yz::scrapeFirstArchiveDate(page, asPatterns).value, yz::scrapeFirstArchiveDate(page).value);
    }
    QString m = QStringLiteral("MAY 05");
    QCOMPARE(yz::monthNumber(m), QStringLiteral("05 05"));
    QCOMPARE(m, QStringLiteral("05 05"));
}

void TestDomainAge::fastLowerCaseEqualsQts()
{
    // Characters whose lower case is special: longer, context-free sigma,
    // outside the BMP, title case, Kelvin and long s.
    const QList<uint> pool =
            QString::fromUtf16(u"AZaz09<>:-ÀÉßİΣΑσςǄǅǈĲ中文한글ＡＺｚ\u212A\u017F\u1E9E\U00010400\U00010428 \t\n")
                    .toUcs4();
    QRandomGenerator random(42);
    for (int round = 0; round < 3000; ++round) {
        QString text;
        for (int i = int(random.bounded(40)); i > 0; --i)
            text += QString::fromUcs4(reinterpret_cast<const char32_t *>(&pool.at(random.bounded(int(pool.size())))),
                                      1);
        QCOMPARE(yz::lowerCasedPage(text), text.toLower());
    }
    QCOMPARE(yz::lowerCasedPage(QString::fromUtf16(u"REGİST 中Σ")), QString::fromUtf16(u"REGİST 中Σ").toLower());
    QCOMPARE(yz::lowerCasedPage(QString()), QString());
}

QTEST_GUILESS_MAIN(TestDomainAge)
#include "tst_domainage.moc"
