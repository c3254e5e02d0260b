#include "ctl/SnapshotText.h"
#include "ctl/Texts.h"

#include <QTest>

// kurvanctl's text output: what a watch line reports, and how times read.
class TestSnapshotText : public QObject
{
    Q_OBJECT

private slots:
    void durations_data()
    {
        QTest::addColumn<std::optional<double>>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("unknown") << std::optional<double>() << CtlText::Unknown;
        QTest::newRow("zero") << std::optional<double>(0.0) << QStringLiteral("0:00");
        QTest::newRow("fraction cut") << std::optional<double>(59.9) << QStringLiteral("0:59");
        QTest::newRow("minutes") << std::optional<double>(215.0) << QStringLiteral("3:35");
        QTest::newRow("an hour") << std::optional<double>(3600.0) << QStringLiteral("1:00:00");
        QTest::newRow("negative") << std::optional<double>(-1.0) << CtlText::Unknown;
    }
    void durations()
    {
        QFETCH(std::optional<double>, seconds);
        QFETCH(QString, text);
        QCOMPARE(durationText(seconds), text);
    }

    void jukeboxTextsLoseTheirControlCharacters_data()
    {
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("shown");
        const QString bad(QChar::ReplacementCharacter);
        QTest::newRow("clear screen, bell")
            << QStringLiteral("\x1b[2J\aLied") << bad + QStringLiteral("[2J") + bad + QStringLiteral("Lied");
        QTest::newRow("a forged line") << QStringLiteral("Lied\r\nCredits: 999")
                                       << QStringLiteral("Lied") + bad + bad + QStringLiteral("Credits: 999");
        QTest::newRow("DEL, C1, tab") << QStringLiteral("a\x7f\u009b\tb") << u'a' + bad + bad + bad + u'b';
        QTest::newRow("text stays") << QStringLiteral("K\u00E4se \u20AC \u00A0\u00FF")
                                    << QStringLiteral("K\u00E4se \u20AC \u00A0\u00FF");
    }
    void jukeboxTextsLoseTheirControlCharacters()
    {
        QFETCH(QString, sent);
        QFETCH(QString, shown);
        QCOMPARE(terminalText(sent), shown);
    }

    void watchReportsWhatChanged()
    {
        JukeboxSnapshot before;
        before.connected = true;
        before.credits = 3;
        before.playing = true;
        before.title = QStringLiteral("Mein Lied");
        before.position = 10.0;
        before.volume = 50;

        JukeboxSnapshot after = before;
        after.position = 12.0;
        QVERIFY(changeLines(before, after, false).isEmpty());
        QCOMPARE(changeLines(before, after, true), QStringList{QStringLiteral("Position: 0:12")});

        after.credits = 4;
        after.volume.reset();
        QCOMPARE(changeLines(before, after, false),
                 (QStringList{QStringLiteral("Credits: 4"), QStringLiteral("Lautst\u00E4rke: unbekannt")}));

        after = before;
        after.playing = false;
        after.title.reset();
        QCOMPARE(changeLines(before, after, false),
                 (QStringList{QStringLiteral("Titel: kein Titel"), QStringLiteral("Wiedergabe: gestoppt")}));

        // A lost link is one line, whatever else the last reading says.
        after.connected = false;
        QCOMPARE(changeLines(before, after, true), QStringList{CtlText::LinkLostLine});
    }
};

QTEST_GUILESS_MAIN(TestSnapshotText)
#include "TestSnapshotText.moc"
