#include "common/Windows1252.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestWindows1252 : public QObject
{
    Q_OBJECT

private slots:
    void testAllBytesRoundTrip()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(static_cast<char>(b));
        const QString text = FromWindows1252(all);
        QCOMPARE(text.size(), 256);
        QCOMPARE(ToWindows1252(text), all);
    }

    // Byte and character pairs from the code page's table, including the five bytes it leaves
    // free, which stand for the control characters of the same number.
    void testCharacters_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");

        QTest::newRow("NUL") << QString(1, QChar(0)) << QByteArray(1, '\0');
        QTest::newRow("ASCII") << u"CtrlStop|7"_s << QByteArray("CtrlStop|7");
        QTest::newRow("DEL") << QString(1, QChar(0x7F)) << QByteArray("\x7F");
        QTest::newRow("euro 80") << u"€"_s << QByteArray("\x80");
        QTest::newRow("free 81") << QString(1, QChar(0x81)) << QByteArray("\x81");
        QTest::newRow("low quote 82") << u"‚"_s << QByteArray("\x82");
        QTest::newRow("florin 83") << u"ƒ"_s << QByteArray("\x83");
        QTest::newRow("ellipsis 85") << u"…"_s << QByteArray("\x85");
        QTest::newRow("per mille 89") << u"‰"_s << QByteArray("\x89");
        QTest::newRow("S caron 8A") << u"Š"_s << QByteArray("\x8A");
        QTest::newRow("free 8D") << QString(1, QChar(0x8D)) << QByteArray("\x8D");
        QTest::newRow("free 8F") << QString(1, QChar(0x8F)) << QByteArray("\x8F");
        QTest::newRow("free 90") << QString(1, QChar(0x90)) << QByteArray("\x90");
        QTest::newRow("left quote 91") << u"‘"_s << QByteArray("\x91");
        QTest::newRow("en dash 96") << u"–"_s << QByteArray("\x96");
        QTest::newRow("trade mark 99") << u"™"_s << QByteArray("\x99");
        QTest::newRow("free 9D") << QString(1, QChar(0x9D)) << QByteArray("\x9D");
        QTest::newRow("z caron 9E") << u"ž"_s << QByteArray("\x9E");
        QTest::newRow("Y diaeresis 9F") << u"Ÿ"_s << QByteArray("\x9F");
        QTest::newRow("no-break space A0") << QString(1, QChar(0xA0)) << QByteArray("\xA0");
        QTest::newRow("umlauts") << u"äöüÄÖÜß"_s << QByteArray("\xE4\xF6\xFC\xC4\xD6\xDC\xDF");
        QTest::newRow("y diaeresis FF") << u"ÿ"_s << QByteArray("\xFF");
        QTest::newRow("next title command") << u"CtrlNächsterTitel"_s
                                            << QByteArray("CtrlN\xE4"
                                                          "chsterTitel");
    }

    void testCharacters()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(ToWindows1252(text), bytes);
        QCOMPARE(FromWindows1252(bytes), text);
    }

    void testUnmappable_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");

        QTest::newRow("A macron") << u"Ā"_s << QByteArray("?");
        QTest::newRow("arrow between letters") << u"a→b"_s << QByteArray("a?b");
        // These control characters have no place: their bytes carry other characters.
        QTest::newRow("U+0080 is not the euro byte") << QString(1, QChar(0x80)) << QByteArray("?");
        QTest::newRow("U+009F") << QString(1, QChar(0x9F)) << QByteArray("?");
        QTest::newRow("U+0152 is, U+0153 is, U+0154 is not") << u"ŒœŔ"_s << QByteArray("\x8C\x9C?");
        QTest::newRow("surrogate pair is one character") << u"😀"_s << QByteArray("?");
        QTest::newRow("surrogate pair between letters") << u"a😀b"_s << QByteArray("a?b");
        QTest::newRow("two pairs") << u"😀😀"_s << QByteArray("??");
        QTest::newRow("lone high surrogate") << (QString(1, QChar(0xD800)) + u'A') << QByteArray("?A");
        QTest::newRow("lone low surrogate") << (u"A"_s + QString(1, QChar(0xDC00))) << QByteArray("A?");
        QTest::newRow("high surrogate at the end") << (u"A"_s + QString(1, QChar(0xD83D))) << QByteArray("A?");
        QTest::newRow("low before high") << (QString(1, QChar(0xDC00)) + QChar(0xD800)) << QByteArray("??");
    }

    void testUnmappable()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(ToWindows1252(text), bytes);
    }
};

QTEST_GUILESS_MAIN(TestWindows1252)
#include "TestWindows1252.moc"
