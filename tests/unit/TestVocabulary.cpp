#include "RequestRules.h"
#include "ctl/CommandLine.h"
#include "ctl/Commands.h"
#include "link/Vocabulary.h"
#include "panel/PanelControls.h"
#include "session/JukeboxSession.h"

#include <QFile>
#include <QMultiMap>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace Qt::StringLiterals;

// The one table of the jukebox's commands and the tables of the surfaces that name them: what
// goes on the wire, when a command is allowed, and that every surface means the command it says.
class TestVocabulary : public QObject
{
    Q_OBJECT

private slots:
    // Each command's text reads back as that command; a count may differ, nothing else may.
    void wireTextsReadBackAsTheirCommand_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("command"); // -1: none
        QSet<QString> seen;
        for (const VocabularyRow &row : kCommands) {
            QVERIFY2(!row.wire->isEmpty() && !seen.contains(*row.wire), qPrintable(*row.wire));
            seen.insert(*row.wire);
            QTest::addRow("%s", qPrintable(*row.wire)) << *row.wire << static_cast<int>(row.command);
        }
        QTest::newRow("a count of five") << u"AddCredit|5"_s << static_cast<int>(Command::AddCredit);
        QTest::newRow("a count without its name") << u"RemoveCredit"_s << -1;
        QTest::newRow("a value where none belongs") << u"CtrlStop|1"_s << -1;
        QTest::newRow("another case") << u"ctrlstop"_s << -1;
        QTest::newRow("the volume") << u"SetVolume|5"_s << -1;
        QTest::newRow("a notice") << Msg::ChangeCredit << -1;
        QTest::newRow("nothing") << QString() << -1;
    }
    void wireTextsReadBackAsTheirCommand()
    {
        QFETCH(QString, text);
        QFETCH(int, command);
        const std::optional<Command> read = commandOfWire(text);
        QCOMPARE(read ? static_cast<int>(*read) : -1, command);
    }

    // Each row: the command, whether the jukebox plays (-1 unknown), its credits (-1 unknown);
    // -2 credits: the link is down.
    void theRuleLooksAtPlayStatusAndCredits_data()
    {
        QTest::addColumn<Command>("command");
        QTest::addColumn<int>("playing");
        QTest::addColumn<int>("credits");
        QTest::addColumn<bool>("allowed");
        for (const Command transport : {Command::NextTitle, Command::PrevTitle, Command::Stop}) {
            const QByteArray wire = rowOf(transport).wire->toUtf8();
            const char *name = wire.constData();
            QTest::addRow("%s while playing", name) << transport << 1 << 0 << true;
            QTest::addRow("%s while stopped", name) << transport << 0 << 5 << false;
            QTest::addRow("%s, play status unknown", name) << transport << -1 << 5 << false;
        }
        QTest::newRow("remove the last credit") << Command::RemoveCredit << 1 << 1 << true;
        QTest::newRow("remove at 0") << Command::RemoveCredit << 1 << 0 << false;
        QTest::newRow("remove, count unknown") << Command::RemoveCredit << 1 << -1 << false;
        QTest::newRow("add at 0, stopped") << Command::AddCredit << 0 << 0 << true;
        QTest::newRow("add, nothing known") << Command::AddCredit << -1 << -1 << true;
        QTest::newRow("quit, nothing known") << Command::Quit << -1 << -1 << true;
        QTest::newRow("add, without the link") << Command::AddCredit << 1 << -2 << false;
    }
    void theRuleLooksAtPlayStatusAndCredits()
    {
        QFETCH(Command, command);
        QFETCH(int, playing);
        QFETCH(int, credits);
        QFETCH(bool, allowed);
        JukeboxSnapshot snapshot;
        snapshot.connected = credits != -2;
        snapshot.playing = playing < 0 ? std::nullopt : std::optional<bool>(playing == 1);
        snapshot.credits = credits < 0 ? std::nullopt : std::optional<int>(credits);
        QCOMPARE(commandAllowed(command, snapshot), allowed);
    }

    // Every surface names each command at most once, the web remote and the command line reach
    // every one, and the panel's roles say what the rule says: its transport group is what needs
    // a title playing, its held buttons those whose confirmation must come first.
    void theSurfacesNameEachCommandOnce()
    {
        QMultiMap<Command, QString> panel;
        for (const PanelControl::Row &row : PanelControl::kRows) {
            if (!row.command)
                continue;
            panel.insert(*row.command, QLatin1String(row.name));
            const bool transport = PanelControl::has(row, PanelControl::Transport);
            QCOMPARE(transport, !isAllowed(*row.command, false, 5) && isAllowed(*row.command, true, 5));
            QCOMPARE(PanelControl::has(row, PanelControl::Confirmed), heldUntilConfirmed(*row.command));
            QVERIFY(PanelControl::has(row, PanelControl::Observed));
        }
        QMultiMap<Command, QString> web, words;
        QStringList names;
        for (const RequestRules::NamedAction &named : RequestRules::namedActions()) {
            names << named.name;
            QCOMPARE(RequestRules::actionForPath("/api/" + named.name.toLatin1()), std::optional(named.action));
            if (named.action.command)
                web.insert(*named.action.command, named.name);
        }
        // The page reads these names; they are the service's promise to it.
        QCOMPARE(names, (QStringList{u"credit/add"_s, u"credit/remove"_s, u"next"_s, u"previous"_s, u"stop"_s,
                                     u"quit"_s, u"volume"_s}));
        for (const CommandRow &row : commandTable()) {
            for (const Command command : row.commands)
                words.insert(command, row.word);
            QCOMPARE(row.run == runJukeboxCommand, row.commands.size() == 1 && row.done);
        }
        for (const VocabularyRow &row : kCommands) {
            const QByteArray wire = row.wire->toUtf8();
            QVERIFY2(panel.count(row.command) <= 1, wire.constData());
            QVERIFY2(web.count(row.command) == 1, wire.constData());
            QVERIFY2(words.count(row.command) == 1, wire.constData());
        }
    }

    // The manual page's command and option lists hold what the tables hold: every entry's
    // first word is a command of the table (and every command has an entry), and the options
    // described are exactly the table's.
    void theManualPageListsEveryCommandAndOption()
    {
        QFile file(QStringLiteral(KURVANCTL_MAN));
        QVERIFY(file.open(QIODevice::ReadOnly));
        // A section's tags: the line after each ".TP", without its font macros and escapes.
        QHash<QString, QStringList> tags;
        QString section;
        const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (lines.at(i).startsWith(u".SH "_s))
                section = lines.at(i).mid(4);
            else if (lines.at(i) == u".TP"_s && i + 1 < lines.size())
                tags[section] << lines.at(i + 1)
                                     .section(u' ', 1)
                                     .remove(QRegularExpression(u"\\f.|\""_s))
                                     .replace(u"\\-"_s, u"-"_s);
        }
        QStringList words, entries;
        for (const CommandRow &row : commandTable())
            words << row.word;
        static const QRegularExpression word(u"(?<![-+\\w])[a-z][a-z-]*"_s);
        for (const QString &tag : std::as_const(tags[u"BEFEHLE"_s])) {
            QStringList named;
            for (const QRegularExpressionMatch &match : word.globalMatch(tag))
                named << match.captured();
            QVERIFY2(!named.isEmpty() && words.contains(named.first()), qPrintable(tag));
            entries << named;
        }
        for (const QString &command : std::as_const(words))
            QVERIFY2(entries.contains(command), qPrintable(command));
        QSet<QString> described, options;
        static const QRegularExpression option(u"--[a-z][a-z-]*"_s);
        for (const QString &tag : std::as_const(tags[u"OPTIONEN"_s]))
            for (const QRegularExpressionMatch &match : option.globalMatch(tag))
                described << match.captured();
        for (const OptionRow &row : optionTable())
            options << u"--"_s + row.name;
        QCOMPARE(described, options);
    }
};

QTEST_GUILESS_MAIN(TestVocabulary)
#include "TestVocabulary.moc"
