// The page decoders: GBK as the WHATWG gb18030 decoder, UTF-8, and labels.
#include "net/TextDecoding.h"

#include <QFile>
#include <QTest>

using yz::decodeByLabel;
using yz::decodeGbk;
using yz::decodeUtf8;

namespace {

QString fromCodePoint(char32_t cp)
{
    return QString::fromUcs4(&cp, 1);
}

QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray b;
    for (int v : list)
        b.append(char(v));
    return b;
}

} // namespace

class TestTextDecoding : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyTwoBytePointerDecodesAsTheIndexSays();
    void singleBytes();
    void fourByteSequences();
    void malformedGbk_data();
    void malformedGbk();
    void utf8ReplacesBadBytes();
    void labels();
};

void TestTextDecoding::everyTwoBytePointerDecodesAsTheIndexSays()
{
    QFile index(QStringLiteral(YZ_TEST_DATA "/index-gb18030.txt"));
    QVERIFY(index.open(QIODevice::ReadOnly | QIODevice::Text));
    int checked = 0;
    // All pointers in one page, each pair behind an ASCII marker, so that a
    // decoder that loses its place shows up as well.
    QByteArray page;
    QString expected;
    while (!index.atEnd()) {
        const QByteArray line = index.readLine();
        if (line.startsWith('#') || line.trimmed().isEmpty())
            continue;
        const QList<QByteArray> fields = line.simplified().split(' ');
        const int pointer = fields.at(0).toInt();
        bool ok = false;
        const uint cp = fields.at(1).mid(2).toUInt(&ok, 16);
        QVERIFY(ok);
        const int lead = pointer / 190 + 0x81;
        const int trail = pointer % 190;
        const int second = trail + (trail < 0x3F ? 0x40 : 0x41);
        const QByteArray pair = bytes({lead, second});
        const QString want = fromCodePoint(cp);
        if (decodeGbk(pair) != want)
            QFAIL(qPrintable(QStringLiteral("pointer %1 (%2) decodes to U+%3, index says U+%4")
                                     .arg(pointer)
                                     .arg(QString::fromLatin1(pair.toHex(' ')))
                                     .arg(decodeGbk(pair).isEmpty() ? 0 : decodeGbk(pair).at(0).unicode(), 4, 16)
                                     .arg(cp, 4, 16)));
        page += 'a' + pair;
        expected += u'a' + want;
        ++checked;
    }
    QCOMPARE(checked, 23940);
    QCOMPARE(decodeGbk(page), expected);
}

void TestTextDecoding::singleBytes()
{
    QCOMPARE(decodeGbk("plain ASCII\r\n<html>"), QStringLiteral("plain ASCII\r\n<html>"));
    QCOMPARE(decodeGbk(bytes({0x80})), QString(QChar(0x20AC)));
    QCOMPARE(decodeGbk(bytes({0xFF})), QString(QChar(0xFFFD)));
    QCOMPARE(decodeGbk(bytes({0xD5, 0xD2, 0xB5, 0xBD})), QStringLiteral("找到"));
    QCOMPARE(decodeGbk(QByteArray()), QString());
}

void TestTextDecoding::fourByteSequences()
{
    QCOMPARE(decodeGbk(bytes({0x81, 0x30, 0x81, 0x30})), fromCodePoint(0x80));
    QCOMPARE(decodeGbk(bytes({0x81, 0x30, 0x81, 0x36})), fromCodePoint(0x86));
    QCOMPARE(decodeGbk(bytes({0x81, 0x30, 0x84, 0x36})), fromCodePoint(0xA5)); // pointer 36 starts a range
    QCOMPARE(decodeGbk(bytes({0x84, 0x31, 0xA4, 0x39})), fromCodePoint(0xFFFF));
    QCOMPARE(decodeGbk(bytes({0x90, 0x30, 0x81, 0x30})), fromCodePoint(0x10000));
    QCOMPARE(decodeGbk(bytes({0xE3, 0x32, 0x9A, 0x35})), fromCodePoint(0x10FFFF));
    // Pointer 7457 is the standard's one exception to its ranges.
    QCOMPARE(decodeGbk(bytes({0x81, 0x35, 0xF4, 0x37})), fromCodePoint(0xE7C7));
    // Pointers between the BMP ranges and the supplementary planes have no code point.
    QCOMPARE(decodeGbk(bytes({0x84, 0x32, 0x81, 0x30})), QString(QChar(0xFFFD)));
    QCOMPARE(decodeGbk(bytes({0xE3, 0x32, 0x9A, 0x36})), QString(QChar(0xFFFD)));
}

void TestTextDecoding::malformedGbk_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("expected");
    const QString r(QChar(0xFFFD));
    QTest::newRow("lead at end") << bytes({'a', 0x81}) << (u'a' + r);
    QTest::newRow("lead then ASCII keeps the ASCII") << bytes({0x81, ' '}) << (r + u' ');
    QTest::newRow("ASCII letter is a valid trail") << bytes({0x81, 'A'}) << QString(QChar(0x4E04));
    QTest::newRow("lead then 0x7F keeps it") << bytes({0x81, 0x7F}) << (r + QChar(0x7F));
    QTest::newRow("lead then 0xFF swallows it") << bytes({0x81, 0xFF, 'b'}) << (r + u'b');
    QTest::newRow("lead digit at end") << bytes({0x81, 0x30}) << r;
    QTest::newRow("lead digit non-lead reads both again") << bytes({0x81, 0x30, 'A'}) << (r + QStringLiteral("0A"));
    QTest::newRow("lead digit lead at end") << bytes({0x81, 0x30, 0x81}) << r;
    QTest::newRow("lead digit lead non-digit reads three again")
            << bytes({0x81, 0x30, 0x81, ' '}) << (r + u'0' + r + u' ');
    QTest::newRow("the re-read bytes may pair up") << bytes({0x81, 0x30, 0x81, 'x'}) << (r + u'0' + QChar(0x4E81));
}

void TestTextDecoding::malformedGbk()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, expected);
    QCOMPARE(decodeGbk(input), expected);
}

void TestTextDecoding::utf8ReplacesBadBytes()
{
    QCOMPARE(decodeUtf8("\xE6\x89\xBE\xE5\x88\xB0"), QStringLiteral("找到"));
    QCOMPARE(decodeUtf8("a\xFF"
                        "b"),
             QStringLiteral("a\uFFFDb"));
    QCOMPARE(decodeUtf8("\xEF\xBB\xBFok"), QStringLiteral("ok"));
}

void TestTextDecoding::labels()
{
    const QByteArray gbk = bytes({0xD5, 0xD2});
    QCOMPARE(decodeByLabel(gbk, QStringLiteral("gb2312")), QStringLiteral("找"));
    QCOMPARE(decodeByLabel(gbk, QStringLiteral("GB2312")), QStringLiteral("找"));
    QCOMPARE(decodeByLabel("\xE6\x89\xBE", QStringLiteral("utf-8")), QStringLiteral("找"));
    QCOMPARE(decodeByLabel(gbk, QStringLiteral("no-such-charset")), QString());
}

QTEST_GUILESS_MAIN(TestTextDecoding)
#include "tst_textdecoding.moc"
