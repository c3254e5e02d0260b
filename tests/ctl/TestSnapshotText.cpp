#include "ctl/CommandLine.h"
#include "ctl/Commands.h"
#include "ctl/ConnectionOptions.h"
#include "ctl/SnapshotText.h"
#include "ctl/Texts.h"

#include <QTest>

using namespace Qt::StringLiterals;

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
        QTest::newRow("zero") << std::optional<double>(0.0) << u"0:00"_s;
        QTest::newRow("fraction cut") << std::optional<double>(59.9) << u"0:59"_s;
        QTest::newRow("minutes") << std::optional<double>(215.0) << u"3:35"_s;
        QTest::newRow("an hour") << std::optional<double>(3600.0) << u"1:00:00"_s;
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
        QTest::newRow("clear screen, bell") << u"\x1b[2J\aLied"_s << bad + u"[2J"_s + bad + u"Lied"_s;
        QTest::newRow("a forged line") << u"Lied\r\nCredits: 999"_s << u"Lied"_s + bad + bad + u"Credits: 999"_s;
        QTest::newRow("DEL, C1, tab") << u"a\x7f\u009b\tb"_s << u'a' + bad + bad + bad + u'b';
        QTest::newRow("text stays") << u"K\u00E4se \u20AC \u00A0\u00FF"_s << u"K\u00E4se \u20AC \u00A0\u00FF"_s;
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
        before.title = u"Mein Lied"_s;
        before.position = 10.0;
        before.volume = 50;

        JukeboxSnapshot after = before;
        after.position = 12.0;
        QVERIFY(changeLines(before, after, false).isEmpty());
        QCOMPARE(changeLines(before, after, true), QStringList{u"Position: 0:12"_s});

        after.credits = 4;
        after.volume.reset();
        QCOMPARE(changeLines(before, after, false), (QStringList{u"Credits: 4"_s, u"Lautst\u00E4rke: unbekannt"_s}));

        after = before;
        after.playing = false;
        after.title.reset();
        QCOMPARE(changeLines(before, after, false), (QStringList{u"Titel: kein Titel"_s, u"Wiedergabe: gestoppt"_s}));

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
