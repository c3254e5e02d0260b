#include "ctl/CommandLine.h"
#include "ctl/Commands.h"
#include "ctl/ConnectionOptions.h"
#include "ctl/SnapshotText.h"
#include "ctl/Texts.h"

#include <QTest>

// kurvanctl's text: what a watch line reports, how times read, and which values a command
// line may carry.
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

    // What kurvanctl refuses before it connects, at the edges of each value.
    void valuesAreTakenToTheirEdges_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("taken");
        const QList<std::pair<const char *, bool>> rows{
            {"credit +1", true},        {"credit +99", true},          {"credit -99", true},
            {"credit +0", false},       {"credit +100", false},        {"credit 5", false},
            {"volume 0", true},         {"volume 100", true},          {"volume -100", true},
            {"volume 101", false},      {"volume +101", false},        {"volume x", false},
            {"help status", true},      {"help play", false},          {"--port 1 status", true},
            {"--port 0 status", false}, {"--port 65535 status", true}, {"--port 65536 status", false},
        };
        for (const auto &[line, taken] : rows)
            QTest::newRow(line) << QString::fromLatin1(line) << taken;
    }
    void valuesAreTakenToTheirEdges()
    {
        QFETCH(QString, line);
        QFETCH(bool, taken);
        qputenv("KURVAN_HOST", "127.0.0.1");
        qunsetenv("KURVAN_PORT");
        const ParsedCommandLine parsed = parseCommandLine(line.split(u' '));
        const QList<CommandRow> &rows = commandTable();
        const auto row = std::find_if(rows.begin(), rows.end(), [&](const CommandRow &candidate) {
            return candidate.word == parsed.words.at(0);
        });
        QVERIFY(row != rows.end());
        QString error = row->check ? row->check(parsed) : QString();
        if (error.isEmpty() && row->connects)
            error = chooseJukebox(parsed).error;
        QVERIFY2(error.isEmpty() == taken, qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestSnapshotText)
#include "TestSnapshotText.moc"
