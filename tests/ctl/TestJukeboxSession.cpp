#include "PanelFixture.h"
#include "SessionFace.h"
#include "SimServer.h"
#include "session/JukeboxSession.h"
#include "session/SessionReconnector.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

// The widget-free session against the simulator on 127.0.0.1: what it reads, what it puts on
// the wire and when it says a command went through; and the web remote's face on it.
class TestJukeboxSession : public QObject
{
    Q_OBJECT

    std::unique_ptr<SimServer> sim;

    ServerLogin login(const QString &password = SimServer::kDefaultPassword) const { return loginFor(*sim, password); }
    QStringList commands() const { return commandsReceived(*sim); }
    // The questions of the next whole poll: from one volume question to the one after it.
    QStringList nextPoll() const
    {
        sim->clearReceived();
        QStringList asked;
        (void)QTest::qWaitFor(
            [&] {
                asked =
                    sim->received().filter(QRegularExpression(u"^Get"_s)).replaceInStrings(Msg::GetPrefix, QString());
                return asked.count(Msg::Volume) >= 2;
            },
            5000);
        const qsizetype first = asked.indexOf(Msg::Volume);
        return asked.mid(first, asked.indexOf(Msg::Volume, first + 1) - first);
    }

private slots:
    void init()
    {
        sim = std::make_unique<SimServer>();
        QVERIFY(sim->listen(QHostAddress::LocalHost));
    }

    void opensOnlyWithAnAnsweredLogin_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("withholdLogin");
        QTest::addColumn<SessionResult>("expected");
        QTest::newRow("accepted") << SimServer::kDefaultPassword << false << SessionResult::Done;
        QTest::newRow("refused") << u"falsch"_s << false << SessionResult::PasswordRefused;
        QTest::newRow("no answer") << SimServer::kDefaultPassword << true << SessionResult::Unreachable;
        QTest::newRow("nobody listening") << SimServer::kDefaultPassword << false << SessionResult::NobodyListening;
    }
    void opensOnlyWithAnAnsweredLogin()
    {
        QFETCH(QString, password);
        QFETCH(bool, withholdLogin);
        QFETCH(SessionResult, expected);
        sim->faults().withholdLogin = withholdLogin;
        const ServerLogin where = login(password);
        const bool listening = expected != SessionResult::NobodyListening;
        if (!listening)
            sim->close();
        JukeboxSession session;
        session.setQueryTimeout(300);
        QCOMPARE(session.open(where), expected);
        QCOMPARE(session.isOpen(), expected == SessionResult::Done);
        QCOMPARE(sim->received().value(0), listening ? Msg::PasswordPrefix + password : QString());
    }

    void readsWhatThePanelShowsAndLeavesLateValuesUnknown()
    {
        sim->model().setSongs({{u"C:\\Musik\\Best_Of\\Gute_Laune.mp3"_s, 215}});
        sim->model().setCredit(7);
        sim->faults().withheldValues = {Msg::Volume};
        JukeboxSession session;
        session.setQueryTimeout(300);
        QCOMPARE(session.open(login()), SessionResult::Done);
        const JukeboxSnapshot snapshot = session.refresh();
        QVERIFY(snapshot.connected);
        QCOMPARE(snapshot.version, sim->model().version());
        QCOMPARE(snapshot.credits, 7);
        QCOMPARE(snapshot.playing, true);
        QCOMPARE(snapshot.title, u"Gute Laune"_s);
        QCOMPARE(snapshot.path, u"C:\\Musik\\Best_Of\\Gute_Laune.mp3"_s);
        QCOMPARE(snapshot.length, 215.0);
        QVERIFY(!snapshot.volume); // unknown, not 0
        QCOMPARE(session.missedAnswers(), 1);
        QCOMPARE(snapshotToJson(snapshot).value(u"volume"_s).type(), QJsonValue::Null);
    }

    void sendsOnlyWhatThePanelWouldAndWaitsForTheConfirmation()
    {
        sim->model().setCredit(1);
        JukeboxSession session;
        QCOMPARE(session.open(login()), SessionResult::Done);
        session.refresh();
        QCOMPARE(session.sendAndConfirm(Command::RemoveCredit), SessionResult::Done);
        QCOMPARE(session.snapshot().credits, 0);
        // No credit left: "-" is off, as on the panel.
        QCOMPARE(session.sendAndConfirm(Command::RemoveCredit), SessionResult::Forbidden);
        QCOMPARE(session.sendAndConfirm(Command::NextTitle), SessionResult::Done);
        QCOMPARE(session.sendAndConfirm(Command::PrevTitle), SessionResult::Done);
        QCOMPARE(session.sendAndConfirm(Command::Stop), SessionResult::Done);
        QCOMPARE(session.snapshot().playing, false);
        QCOMPARE(session.send(Command::PrevTitle), SessionResult::Forbidden);
        QCOMPARE(commands(), (QStringList{Msg::RemoveCredit, Msg::NextTitle, Msg::PrevTitle, Msg::Stop}));

        // A jukebox that takes the command but does nothing leaves it unconfirmed, its end too.
        sim->faults().ignoreCommands = true;
        session.setConfirmTimeout(300);
        QCOMPARE(session.sendAndConfirm(Command::AddCredit), SessionResult::NotConfirmed);
        QCOMPARE(session.snapshot().credits, 0);
        QCOMPARE(session.sendAndConfirm(Command::Quit), SessionResult::NotConfirmed);
        // The jukebox confirms its end by taking the link with it.
        sim->faults().ignoreCommands = false;
        QCOMPARE(session.sendAndConfirm(Command::Quit), SessionResult::Done);
        QVERIFY(!session.isOpen());
    }

    // A jukebox that counts a credit without its notice: the count that differs confirms it,
    // up or down, and is published.
    void aChangedCountConfirmsACreditWithoutItsNotice()
    {
        sim->faults().ignoreCommands = true;
        connect(sim.get(), &SimServer::messageReceived, this, [this](const QString &text) {
            if (const std::optional<Command> command = commandOfWire(text))
                sim->model().setCredit(sim->model().credit() + (*command == Command::AddCredit ? 1 : -1));
        });
        JukeboxSession session;
        QCOMPARE(session.open(login()), SessionResult::Done);
        session.refresh();
        session.setConfirmTimeout(500);
        QSignalSpy changed(&session, &JukeboxSession::snapshotChanged);
        QCOMPARE(session.sendAndConfirm(Command::RemoveCredit), SessionResult::Done);
        QCOMPARE(session.snapshot().credits, 2);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(session.sendAndConfirm(Command::AddCredit), SessionResult::Done);
        QCOMPARE(session.snapshot().credits, 3);
    }

    // What is asked when: a stopped jukebox only for its volume and play status, a playing one
    // for its position too, and for the length again once the position reaches it. A stop
    // clears the song; a new title starts at 0, whatever the last poll read.
    void asksWhatThePlayStatusCallsFor()
    {
        qint64 now = 0;
        sim->model().setClock([&now] { return now; });
        sim->model().setSongs({{u"C:\\Eins.mp3"_s, 215}, {u"C:\\Zwei.mp3"_s, 300}});
        sim->model().stop();
        JukeboxSession session;
        QCOMPARE(session.open(login()), SessionResult::Done);
        sim->clearReceived();
        session.refresh();
        QCOMPARE(sim->received(), names({"GetVersion", "GetType", "GetCredit", "GetPlayStatus", "GetVolume"}));
        session.setPollInterval(20);
        session.setFollowing(true);
        QCOMPARE(nextPoll(), names({"Volume", "PlayStatus"}));

        sim->model().play();
        now = 100'000;
        QTRY_COMPARE(session.snapshot().position, 100.0);
        session.setPollInterval(60'000); // only the notice reports the new title
        QSignalSpy changed(&session, &JukeboxSession::snapshotChanged);
        sim->model().nextTitle();
        QTRY_VERIFY(!changed.isEmpty() && session.snapshot().title == u"Zwei"_s);
        const auto newTitle = std::find_if(changed.begin(), changed.end(), [](const QList<QVariant> &signal) {
            return signal.at(0).value<JukeboxSnapshot>().title == u"Zwei"_s;
        });
        QCOMPARE(newTitle->at(0).value<JukeboxSnapshot>().position, 0.0);
        session.setPollInterval(20);
        QCOMPARE(nextPoll(), names({"Volume", "PlayStatus", "SongPos"}));
        sim->faults().scriptedAnswers[Msg::SongPos] = u"SongPos|300"_s;
        QCOMPARE(nextPoll(), names({"Volume", "PlayStatus", "SongPos", "SongLength"}));

        sim->model().stop();
        QTRY_COMPARE(session.snapshot().playing, false);
        QVERIFY(!session.snapshot().title && !session.snapshot().path && !session.snapshot().position);
        QCOMPARE(nextPoll(), names({"Volume", "PlayStatus"}));
    }

    // What the web remote's face allows: nothing while the link is not reported standing; a
    // credit action held from its request until the jukebox confirms it (its notice, though
    // the count stays) or its wait runs out, each change announced by itself, other news
    // keeping the hold; nothing once the link is gone.
    void theWebFaceHoldsACreditUntilItIsConfirmed()
    {
        sim->model().stop(); // no news but what the test makes
        SessionFace face(login());
        const RequestRules::RemoteAction add{Command::AddCredit, 0}, remove{Command::RemoveCredit, 0}, volume{};
        bool allowedEarly = false;
        connect(&face, &RemoteFace::changed, this, [&] {
            allowedEarly |= face.linkStatus().phase != LinkStatus::Phase::Connected && face.allows(volume);
        });
        face.start();
        QTRY_COMPARE(face.linkStatus().phase, LinkStatus::Phase::Connected);
        QVERIFY(!allowedEarly);
        QVERIFY(face.allows(add) && face.allows(remove) && !face.allows({Command::NextTitle, 0}));
        sim->faults().ignoreCommands = true;
        face.setConfirmTimeout(300);
        QSignalSpy changed(&face, &RemoteFace::changed);
        QCOMPARE(face.perform(add), SessionResult::Done);
        QCOMPARE(changed.size(), 1);
        QVERIFY(!face.allows(add) && face.allows(remove));
        QCOMPARE(face.perform(add), SessionResult::Forbidden);
        QVERIFY(changed.wait());
        QVERIFY(face.allows(add));
        face.setConfirmTimeout(60'000);
        QCOMPARE(face.perform(remove), SessionResult::Done);
        sim->model().nextTitle();
        QTRY_COMPARE(face.snapshot().playing, true);
        QVERIFY(!face.allows(remove));
        changed.clear();
        sim->pushNotice(Msg::ChangeCredit);
        QVERIFY(changed.wait());
        QVERIFY(face.allows(remove));
        QCOMPARE(commands(), (QStringList{Msg::AddCredit, Msg::RemoveCredit}));
        QCOMPARE(face.perform(remove), SessionResult::Done);
        sim->close();
        QTRY_VERIFY(face.linkStatus().phase != LinkStatus::Phase::Connected);
        QVERIFY(!face.allows(add) && !face.allows(volume));
    }

    void setsTheVolumeOnceAndNotAtAll()
    {
        JukeboxSession session;
        QCOMPARE(session.open(login()), SessionResult::Done);
        QCOMPARE(session.setVolume(sim->model().volume()), SessionResult::Done);
        QCOMPARE(session.setVolume(130), SessionResult::Done);
        QCOMPARE(session.snapshot().volume, 100);
        QCOMPARE(commands(), QStringList{Msg::SetVolumePrefix + u"100"_s});
    }

    void followsNoticesAndReportsTheLostLink()
    {
        JukeboxSession session;
        QCOMPARE(session.open(login()), SessionResult::Done);
        session.refresh();
        session.setFollowing(true);
        QSignalSpy changed(&session, &JukeboxSession::snapshotChanged);
        QSignalSpy lost(&session, &JukeboxSession::linkLost);
        sim->model().addCredit(2);
        QTRY_COMPARE_WITH_TIMEOUT(session.snapshot().credits, 5, JukeboxSession::kConfirmTimeout);
        QVERIFY(!changed.isEmpty());
        sim->close();
        QVERIFY(lost.wait(JukeboxSession::kConfirmTimeout));
        QVERIFY(!session.snapshot().connected);
        QVERIFY(!session.isOpen());
    }

    void reconnectsWithGrowingPauses()
    {
        QCOMPARE(SessionReconnector::delayBefore(1), 1000);
        QCOMPARE(SessionReconnector::delayBefore(3), 4000);
        QCOMPARE(SessionReconnector::delayBefore(7), 60000);
        QCOMPARE(SessionReconnector::delayBefore(100), 60000);

        JukeboxSession session;
        SessionReconnector reconnector(&session, login());
        reconnector.setEnabled(true);
        QSignalSpy scheduled(&reconnector, &SessionReconnector::attemptScheduled);
        QSignalSpy reconnected(&reconnector, &SessionReconnector::reconnected);
        QCOMPARE(session.open(login()), SessionResult::Done);
        const quint16 port = sim->port();
        sim->close();
        QVERIFY(scheduled.wait(JukeboxSession::kConfirmTimeout));
        QVERIFY(sim->listen(QHostAddress::LocalHost, port));
        QVERIFY(reconnected.wait(SessionReconnector::kFirstDelay + JukeboxSession::kConnectTimeout * 2));
        QVERIFY(session.isOpen());
        QCOMPARE(scheduled.first().at(1).toInt(), SessionReconnector::kFirstDelay);
        // Lost again: the count starts anew; a refused password ends the attempts.
        QSignalSpy gaveUp(&reconnector, &SessionReconnector::gaveUp);
        scheduled.clear();
        sim->setPassword(u"anders"_s);
        sim->close();
        QVERIFY(scheduled.wait(JukeboxSession::kConfirmTimeout));
        QCOMPARE(scheduled.first().at(0).toInt(), 1);
        QVERIFY(sim->listen(QHostAddress::LocalHost, port));
        QVERIFY(gaveUp.wait(SessionReconnector::kFirstDelay + JukeboxSession::kConnectTimeout * 2));
        QCOMPARE(gaveUp.first().at(0).value<SessionResult>(), SessionResult::PasswordRefused);
        QCOMPARE(scheduled.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestJukeboxSession)
#include "TestJukeboxSession.moc"
