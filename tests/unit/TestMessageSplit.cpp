#include "link/MessageSplit.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestMessageSplit : public QObject
{
    Q_OBJECT

private slots:
    void testSplit_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");

        QTest::newRow("answer") << u"Version|6.2 Pro"_s << u"Version"_s << u"6.2 Pro"_s;
        QTest::newRow("answer with a path")
            << u"CurrentSong|D:\\Musik\\Lied.mp3"_s << u"CurrentSong"_s << u"D:\\Musik\\Lied.mp3"_s;
        QTest::newRow("bare name") << u"ChangeTitle"_s << u"ChangeTitle"_s << QString();
        QTest::newRow("login answer") << u"PasswordOK"_s << u"PasswordOK"_s << QString();
        QTest::newRow("empty value") << u"Credit|"_s << u"Credit"_s << QString();
        QTest::newRow("empty name") << u"|5"_s << QString() << u"5"_s;
        QTest::newRow("value holding a bar is dropped") << u"Version|1|2"_s << u"Version"_s << QString();
        QTest::newRow("two bars in a row") << u"Credit||3"_s << u"Credit"_s << QString();
        QTest::newRow("bars only") << u"||"_s << QString() << QString();
        QTest::newRow("single bar") << u"|"_s << QString() << QString();
        QTest::newRow("empty text") << QString() << QString() << QString();
        QTest::newRow("notice with a value") << u"ChangeCredit|4"_s << u"ChangeCredit"_s << u"4"_s;
        QTest::newRow("blanks are kept") << u" Volume | 50 "_s << u" Volume "_s << u" 50 "_s;
        QTest::newRow("umlaut") << u"CtrlNächsterTitel"_s << u"CtrlNächsterTitel"_s << QString();
    }

    void testSplit()
    {
        QFETCH(QString, text);
        QFETCH(QString, name);
        QFETCH(QString, value);
        const MessageParts parts = SplitMessage(text);
        QCOMPARE(parts.name, name);
        QCOMPARE(parts.value, value);
    }
};

QTEST_GUILESS_MAIN(TestMessageSplit)
#include "TestMessageSplit.moc"
