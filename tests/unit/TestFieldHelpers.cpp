#include "common/FieldHelpers.h"

#include <QTest>
#include <limits>

using namespace Qt::StringLiterals;

class TestFieldHelpers : public QObject
{
    Q_OBJECT

private slots:
    void testGetField_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("delimiter");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("expected");

        const QString abc = u"a|b|c"_s;
        const QString bar = u"|"_s;
        QTest::newRow("first field") << abc << 1 << bar << 1 << u"a"_s;
        QTest::newRow("middle field") << abc << 2 << bar << 1 << u"b"_s;
        QTest::newRow("last field") << abc << 3 << bar << 1 << u"c"_s;
        QTest::newRow("beyond last field") << abc << 4 << bar << 1 << QString();
        QTest::newRow("count 0 is count 1") << abc << 2 << bar << 0 << u"b"_s;
        QTest::newRow("negative count is count 1") << abc << 2 << bar << -5 << u"b"_s;
        QTest::newRow("run of two ends in delimiter") << abc << 1 << bar << 2 << u"a|b|"_s;
        QTest::newRow("run to the end") << abc << 2 << bar << 2 << u"b|c|"_s;
        QTest::newRow("run past the end stops there") << abc << 2 << bar << 6 << u"b|c|"_s;
        QTest::newRow("run of all fields") << abc << 1 << bar << 3 << u"a|b|c|"_s;
        QTest::newRow("run starting beyond the end") << abc << 4 << bar << 2 << QString();

        QTest::newRow("no delimiter, field 1") << u"Version"_s << 1 << bar << 1 << QString();
        QTest::newRow("no delimiter, field 2") << u"Version"_s << 2 << bar << 1 << QString();
        QTest::newRow("no delimiter, run") << u"Version"_s << 1 << bar << 2 << QString();
        QTest::newRow("empty text") << QString() << 1 << bar << 1 << QString();

        QTest::newRow("trailing delimiter, name") << u"Credit|"_s << 1 << bar << 1 << u"Credit"_s;
        QTest::newRow("trailing delimiter, empty value") << u"Credit|"_s << 2 << bar << 1 << QString();
        QTest::newRow("leading delimiter, empty first") << u"|7"_s << 1 << bar << 1 << QString();
        QTest::newRow("leading delimiter, second") << u"|7"_s << 2 << bar << 1 << u"7"_s;
        QTest::newRow("empty field between") << u"a||b"_s << 2 << bar << 1 << QString();
        QTest::newRow("field after empty one") << u"a||b"_s << 3 << bar << 1 << u"b"_s;
        QTest::newRow("run over empty field") << u"a||b"_s << 1 << bar << 3 << u"a||b|"_s;

        QTest::newRow("delimiter of two") << u"a::b::c"_s << 2 << u"::"_s << 1 << u"b"_s;
        QTest::newRow("run with delimiter of two") << u"a::b::c"_s << 2 << u"::"_s << 2 << u"b::c::"_s;
        // Split from left to right: "|||" holds one "||" and a "|" that belongs to the next field.
        QTest::newRow("overlapping delimiters split left to right") << u"a|||b"_s << 2 << u"||"_s << 1 << u"|b"_s;
        QTest::newRow("delimiter is case-sensitive") << u"aXbxc"_s << 1 << u"x"_s << 1 << u"aXb"_s;

        QTest::newRow("field 0") << abc << 0 << bar << 1 << QString();
        QTest::newRow("negative field") << abc << -1 << bar << 1 << QString();
        QTest::newRow("empty delimiter") << abc << 1 << QString() << 1 << QString();
        QTest::newRow("largest field and count")
            << abc << std::numeric_limits<int>::max() << bar << std::numeric_limits<int>::max() << QString();
    }

    void testGetField()
    {
        QFETCH(QString, text);
        QFETCH(int, field);
        QFETCH(QString, delimiter);
        QFETCH(int, count);
        QFETCH(QString, expected);
        QCOMPARE(GetField(text, field, delimiter, count), expected);
    }

    void testCountOccurrences_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("count");

        QTest::newRow("empty text") << QString() << u"|"_s << 0;
        QTest::newRow("empty text, empty pattern") << QString() << QString() << 0;
        QTest::newRow("empty pattern") << u"abc"_s << QString() << 0;
        QTest::newRow("absent") << u"PasswordOK"_s << u"|"_s << 0;
        QTest::newRow("one bar") << u"Credit|3"_s << u"|"_s << 1;
        QTest::newRow("two bars") << u"a|b|c"_s << u"|"_s << 2;
        QTest::newRow("text is the pattern") << u"|"_s << u"|"_s << 1;
        QTest::newRow("bars in a row") << u"|||"_s << u"|"_s << 3;
        QTest::newRow("overlapping, aa in aaaa") << u"aaaa"_s << u"aa"_s << 3;
        QTest::newRow("overlapping, aba in ababa") << u"ababa"_s << u"aba"_s << 2;
        QTest::newRow("pattern longer than text") << u"aaa"_s << u"aaaa"_s << 0;
        QTest::newRow("case-sensitive") << u"AbA"_s << u"a"_s << 0;
    }

    void testCountOccurrences()
    {
        QFETCH(QString, text);
        QFETCH(QString, pattern);
        QFETCH(int, count);
        QCOMPARE(CountOccurrences(text, pattern), count);
    }

    void testFileNameFromPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("keepExtension");
        QTest::addColumn<QString>("expected");

        QTest::newRow("song without extension") << u"D:\\Musik\\Mein_Lied.mp3"_s << false << u"Mein_Lied"_s;
        QTest::newRow("song with extension") << u"D:\\Musik\\Mein_Lied.mp3"_s << true << u"Mein_Lied.mp3"_s;
        QTest::newRow("no backslash") << u"Mein_Lied.mp3"_s << false << u"Mein_Lied"_s;
        QTest::newRow("no backslash, with extension") << u"Mein_Lied.mp3"_s << true << u"Mein_Lied.mp3"_s;
        QTest::newRow("ends in backslash") << u"D:\\Musik\\"_s << false << QString();
        QTest::newRow("ends in backslash, with extension") << u"D:\\Musik\\"_s << true << QString();
        QTest::newRow("dot only in directory") << u"D:\\a.b\\song"_s << false << u"song"_s;
        QTest::newRow("several dots lose the last part") << u"C:\\x\\a.b.mp3"_s << false << u"a.b"_s;
        QTest::newRow("name is only an extension") << u"C:\\x\\.mp3"_s << false << QString();
        QTest::newRow("name is only an extension, kept") << u"C:\\x\\.mp3"_s << true << u".mp3"_s;
        QTest::newRow("name ends in dot") << u"C:\\Lied."_s << false << u"Lied"_s;
        QTest::newRow("slash is an ordinary character") << u"D:/Musik/Lied.mp3"_s << false << u"D:/Musik/Lied"_s;
        QTest::newRow("network path") << u"\\\\server\\share\\x.y"_s << false << u"x"_s;
        QTest::newRow("empty path") << QString() << false << QString();
        QTest::newRow("TimeOut stays whole") << u"TimeOut"_s << false << u"TimeOut"_s;
    }

    void testFileNameFromPath()
    {
        QFETCH(QString, path);
        QFETCH(bool, keepExtension);
        QFETCH(QString, expected);
        QCOMPARE(FileNameFromPath(path, keepExtension), expected);
    }

    // Positions are not limited to 16 bits: texts far beyond 32,767 characters count and cut
    // correctly.
    void testLongTexts()
    {
        constexpr int kLength = 45500;

        // A bar every 1000 characters (the last at 44,999) and one as the very last character.
        QString barred(kLength, u'x');
        for (int at = 999; at < kLength; at += 1000)
            barred[at] = u'|';
        barred[kLength - 1] = u'|';
        QCOMPARE(CountOccurrences(barred, u"|"_s), 46);
        QCOMPARE(CountOccurrences(QString(kLength, u'a'), u"aa"_s), kLength - 1);

        QCOMPARE(GetField(barred, 45, u"|"_s), QString(999, u'x'));
        QCOMPARE(GetField(barred, 46, u"|"_s), QString(499, u'x'));
        QCOMPARE(GetField(barred, 47, u"|"_s), QString());
        QCOMPARE(GetField(barred, 45, u"|"_s, 2), QString(999, u'x') + u'|' + QString(499, u'x') + u'|');
        const QString tail = u"Version|"_s + QString(kLength, u'v');
        QCOMPARE(GetField(tail, 2, u"|"_s), QString(kLength, u'v'));

        const QString longDir = u"D:\\"_s + QString(kLength, u'd') + u".dir\\"_s;
        QCOMPARE(FileNameFromPath(longDir + u"Lied.mp3"_s, false), u"Lied"_s);
        const QString longName = QString(kLength, u'n');
        QCOMPARE(FileNameFromPath(longDir + longName + u".mp3"_s, false), longName);
        QCOMPARE(FileNameFromPath(longDir + longName + u".mp3"_s, true), longName + u".mp3"_s);
    }
};

QTEST_GUILESS_MAIN(TestFieldHelpers)
#include "TestFieldHelpers.moc"
