#include "PanelFixture.h"
#include "panel/PanelFace.h"
#include "widgets/FitLabel.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

using namespace Qt::StringLiterals;

namespace {

const QString kSecret = u"geheim"_s;

} // namespace

// The panel against the simulator: what it asks, what it shows, what it sends. The simulator's
// answers are scripted, so they hold still while a test looks.
class TestPanel : public QObject, PanelFixture
{
    Q_OBJECT

    void withhold(std::initializer_list<const char *> list) { sim->faults().withheldValues = names(list); }
    void notice(const QString &text) { sim->pushNotice(text); }
    void makePanel(const QString &port, const QString &password = kSecret) { PanelFixture::makePanel(port, password); }

private slots:
    void initTestCase()
    {
        // A panel that cannot log in fails nearly every case the same way: say so once.
        QVERIFY(startSim(kSecret));
        QVERIFY2(logIn(), "no login against the simulator");
        reset();
    }

    void init()
    {
        QVERIFY(startSim(kSecret));
        scriptPlayingJukebox();
    }
    void cleanup() { reset(); }

    void startsHiddenWithEverythingOff()
    {
        makePanel(u"1"_s);
        QVERIFY(!panel->isVisible());
        QCOMPARE(panel->windowTitle(), u"Kurvan"_s);
        QCOMPARE(text("lblStatus"), u"Es besteht keine Verbindung!"_s);
        QCOMPARE(text("lblVersion"), u"6.2.3"_s);
        QCOMPARE(text("lblCurrentSong"), u"-"_s);
        QCOMPARE(text("lblCredits"), QString());
        expectAsCreated();
        QCOMPARE(panel->stopped(), 1);
        for (const char *timer : {"tmrCheckStatus", "tmrVolume"})
            QVERIFY(!get<QTimer>(timer)->isActive());
    }

    void loginWhilePlayingAsksInOrderAndFillsThePanel()
    {
        QVERIFY(logIn());
        QCOMPARE(received().first(), u"Password=geheim"_s);
        QCOMPARE(queries(), names({"Version", "Type", "Credit", "PlayStatus", "SongLength", "CurrentSong", "SongPos"}));
        QVERIFY(panel->isVisible());
        // In the middle of the screen's free area, give or take the window frame (whose title bar
        // some systems add only once the window is shown).
        const QPoint off =
            panel->frameGeometry().center() - QGuiApplication::primaryScreen()->availableGeometry().center();
        QVERIFY2(off.manhattanLength() <= 24, qPrintable(u"%1, %2"_s.arg(off.x()).arg(off.y())));
        QCOMPARE(text("lblStatus"), u"Verbindung hergestellt"_s);
        QCOMPARE(text("lblVersion"), u"7.1.0 (Demo)"_s);
        QCOMPARE(text("lblCredits"), u"3"_s);
        QCOMPARE(text("lblCurrentSong"), u"Mein Lied"_s);
        QCOMPARE(panel->progress().maximum(), 215.0f);
        QCOMPARE(panel->progress().value(), 30.0f);
        QCOMPARE(get<QProgressBar>("ProgressBar1")->value(), qRound(30.0 / 215 * 1000));
        QCOMPARE(panel->stopped(), 0);
        expectControls(true, true);
    }

    void loginVariants_data()
    {
        QTest::addColumn<QString>("playStatus");
        QTest::addColumn<QString>("credit");
        QTest::addColumn<QStringList>("withheld");
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("minusOn");
        QTest::addColumn<bool>("transportOn");
        QTest::newRow("stopped") << u"Gestoppt"_s << u"3"_s << QStringList() << u"7.1.0 (Demo)"_s << true << false;
        QTest::newRow("no credits") << u"Gestoppt"_s << u"0"_s << QStringList() << u"7.1.0 (Demo)"_s << false << false;
        QTest::newRow("credit not a number")
            << u"Spielt"_s << u"viele"_s << QStringList() << u"7.1.0 (Demo)"_s << true << true;
        QTest::newRow("only the type") << u"Gestoppt"_s << u"1"_s << names({"Version"}) << u" (Demo)"_s << true
                                       << false;
        QTest::newRow("only the version") << u"Gestoppt"_s << u"1"_s << names({"Type"}) << u"7.1.0"_s << true << false;
        QTest::newRow("play status times out")
            << u"Spielt"_s << u"1"_s << names({"PlayStatus"}) << u"7.1.0 (Demo)"_s << true << false;
    }

    void loginVariants()
    {
        QFETCH(QString, playStatus);
        QFETCH(QString, credit);
        QFETCH(QStringList, withheld);
        QFETCH(QString, version);
        QFETCH(bool, minusOn);
        QFETCH(bool, transportOn);
        answer("PlayStatus", playStatus);
        answer("Credit", credit);
        sim->faults().withheldValues = withheld;
        QVERIFY(logIn());
        QCOMPARE(text("lblVersion"), version);
        QCOMPARE(text("lblCredits"), credit);
        QCOMPARE(enabled("cmdCreditMinus"), minusOn);
        QVERIFY(enabled("cmdCreditPlus"));
        for (const char *name : controlsWith(PanelControl::Transport))
            QCOMPARE(enabled(name), transportOn);
        if (!transportOn) // nothing about the song is asked while nothing plays
            QVERIFY(!queries().contains(u"SongLength"_s));
    }

    void loginSkipsOnlyTheFailingStep_data()
    {
        QTest::addColumn<QString>("length");
        QTest::addColumn<QString>("position");
        QTest::addColumn<float>("maximum");
        QTest::addColumn<float>("value");
        QTest::newRow("length with letters") << u"215abc"_s << u"30"_s << 100.0f << 30.0f;
        QTest::newRow("position at the end") << u"215"_s << u"215"_s << 215.0f << 0.0f;
        QTest::newRow("negative position") << u"215"_s << u"-5"_s << 215.0f << 0.0f;
    }

    void loginSkipsOnlyTheFailingStep()
    {
        QFETCH(QString, length);
        QFETCH(QString, position);
        QFETCH(float, maximum);
        QFETCH(float, value);
        answer("SongLength", length);
        answer("SongPos", position);
        QVERIFY(logIn());
        QCOMPARE(panel->progress().maximum(), maximum);
        QCOMPARE(panel->progress().value(), value);
        QCOMPARE(text("lblCurrentSong"), u"Mein Lied"_s);
        QVERIFY(enabled("cmdStop"));
    }

    void wrongPasswordShowsItAndChangesNothingElse()
    {
        sim->setPassword(u"anders"_s);
        makePanel(QString::number(sim->port()));
        QTRY_COMPARE(text("lblStatus"), u"Authentifizierung fehlgeschlagen!"_s);
        QVERIFY(!enabled("cmdCreditPlus"));
        QVERIFY(!poll()->isActive());
        QCOMPARE(sim->clientCount(), 1);
        QCOMPARE(received().size(), 1);
    }

    void passwordIsSentExactlyAsTyped_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("empty") << "";
        QTest::newRow("blanks inside and around") << " a b ";
        QTest::newRow("umlaut") << "M\u00FCnze";
    }

    void passwordIsSentExactlyAsTyped()
    {
        QFETCH(QString, password);
        sim->faults().withholdLogin = true;
        makePanel(QString::number(sim->port()), password);
        QTRY_COMPARE(received(), QStringList{u"Password="_s + password});
        QCOMPARE(text("lblStatus"), u"Warte auf Authentifizierung"_s);
    }

    void noticesUpdateThePanel()
    {
        QVERIFY(logIn());
        answer("CurrentSong", u"E:\\Alben\\Best_of.2\\Zweites_Lied.ogg"_s);
        answer("SongLength", u"180"_s);
        answer("Credit", u"0"_s);

        notice(u"PlayStatusStop"_s);
        QTRY_COMPARE(text("lblCurrentSong"), QString());
        QCOMPARE(panel->stopped(), 1);
        QCOMPARE(panel->progress().value(), 0.0f);
        QVERIFY(!enabled("cmdStop") && !enabled("cmdNextTitle") && !enabled("cmdPrevTitle"));

        const int before = received().size();
        notice(u"ChangeTitle|egal"_s);
        QTRY_COMPARE(text("lblCurrentSong"), u"Zweites Lied"_s);
        QTRY_COMPARE(panel->progress().maximum(), 180.0f);
        QCOMPARE(received().mid(before), names({"GetCurrentSong", "GetSongLength"}));
        QCOMPARE(panel->stopped(), 0);
        QVERIFY(enabled("cmdStop") && enabled("cmdNextTitle") && enabled("cmdPrevTitle"));

        notice(u"ChangeCredit"_s);
        QTRY_COMPARE(text("lblCredits"), u"0"_s);
        QVERIFY(!enabled("cmdCreditMinus"));
        QVERIFY(enabled("cmdCreditPlus"));

        // A credit answer that is not a number changes nothing.
        sim->faults().withheldValues << u"Credit"_s;
        answer("Credit", u"9"_s);
        notice(u"ChangeCredit"_s);
        QTRY_COMPARE(asked("Credit"), 3);
        QTRY_VERIFY(!link->isWaiting());
        QCOMPARE(text("lblCredits"), u"0"_s);
    }

    void changeTitleWithoutLengthKeepsTheOldMaximum_data()
    {
        QTest::addColumn<QString>("length"); // empty: no answer
        QTest::newRow("no answer") << QString();
        QTest::newRow("beyond any float") << u"1"_s + QString(400, u'0');
    }

    void changeTitleWithoutLengthKeepsTheOldMaximum()
    {
        QFETCH(QString, length);
        QVERIFY(logIn());
        if (length.isEmpty())
            sim->faults().withheldValues << u"SongLength"_s;
        else
            answer("SongLength", length);
        notice(u"ChangeTitle"_s);
        QTRY_COMPARE(asked("SongLength"), 2);
        QTRY_VERIFY(!link->isWaiting());
        QCOMPARE(panel->progress().value(), 0.0f);
        QCOMPARE(panel->progress().maximum(), 215.0f);
        QVERIFY(enabled("cmdNextTitle"));
    }

    void lostLinkSwitchesThePanelOff()
    {
        sim->faults().ignoreCommands = true; // the click below stays unconfirmed
        QVERIFY(logIn());
        QTest::mouseClick(get<QPushButton>("cmdCreditPlus"), Qt::LeftButton);
        QVERIFY(get<QTimer>("tmrCreditPlusWait")->isActive());
        // The jukebox has read the click before it goes away (a close with unread bytes is a
        // reset, which is another case).
        QTRY_COMPARE(commandsReceived(*sim), QStringList{Msg::AddCredit});
        sim->close();
        QTRY_COMPARE(text("lblStatus"), u"Verbindung getrennt"_s);
        QVERIFY(!poll()->isActive());
        // The click's wait ends with the link: nothing switches the button back on later.
        QVERIFY(!get<QTimer>("tmrCreditPlusWait")->isActive());
        QCOMPARE(panel->progress().value(), 0.0f);
        expectControls(false, false);
        QCOMPARE(text("lblVersion"), u"7.1.0 (Demo)"_s);
        QCOMPARE(text("lblCurrentSong"), u"Mein Lied"_s);
        // Observers see the title still, and that it never heard of a stop: without a link
        // nothing plays all the same, and nothing is allowed.
        QTRY_COMPARE(panel->face()->state(), panel->state());
        QCOMPARE(panel->state().song, u"Mein Lied"_s);
        QVERIFY(!panel->state().playing);
        QCOMPARE(panel->state().allowed, (std::array<bool, kCommandCount>{}));
        QVERIFY(!panel->state().canSetVolume);
    }

    void lostLinkSwitchesOffWhateverTheVersionSays()
    {
        answer("Version", u"7.1"_s);
        withhold({"Type"});
        QVERIFY(logIn());
        QCOMPARE(text("lblVersion"), u"7.1"_s);
        sim->close();
        QTRY_COMPARE(text("lblStatus"), u"Verbindung getrennt"_s);
        QVERIFY(!enabled("cmdCreditPlus"));
        QVERIFY(!enabled("scrVol"));
    }

    void commandButtonsSendTheirTexts()
    {
        sim->faults().ignoreCommands = true; // no notice follows a command here
        QVERIFY(logIn());
        const QList<std::pair<const char *, QString>> buttons = {
            {"cmdNextTitle", u"CtrlN\u00E4chsterTitel"_s},
            {"cmdPrevTitle", u"CtrlVorherigerTitel"_s},
            {"cmdStop", u"CtrlStop"_s},
            {"cmdEnd", u"CtrlBeenden"_s},
            {"cmdCreditMinus", u"RemoveCredit|1"_s},
        };
        for (const auto &[name, command] : buttons) {
            const int before = received().size();
            QTest::mouseClick(get<QPushButton>(name), Qt::LeftButton);
            QTRY_COMPARE(received().mid(before), QStringList{command});
        }
        // Transport and quit leave every control as it was; a credit button switches itself off.
        QVERIFY(enabled("cmdNextTitle") && enabled("cmdStop") && enabled("cmdEnd"));
        QVERIFY(!enabled("cmdCreditMinus"));
        QVERIFY(enabled("cmdCreditPlus"));

        const int before = received().size();
        QTest::mouseClick(get<QPushButton>("cmdCreditPlus"), Qt::LeftButton);
        QVERIFY(!enabled("cmdCreditPlus"));
        QTest::mouseClick(get<QPushButton>("cmdCreditPlus"), Qt::LeftButton); // off: no second request
        QTRY_COMPARE(received().mid(before), QStringList{u"AddCredit|1"_s});

        notice(u"ChangeCredit"_s);
        QTRY_VERIFY(enabled("cmdCreditPlus"));
    }

    void creditButtonComesBackWithoutAConfirmation()
    {
        sim->faults().ignoreCommands = true;
        QVERIFY(logIn());
        get<QTimer>("tmrCreditPlusWait")->setInterval(300);
        QTest::mouseClick(get<QPushButton>("cmdCreditPlus"), Qt::LeftButton);
        QVERIFY(!enabled("cmdCreditPlus"));
        QTRY_VERIFY(enabled("cmdCreditPlus"));
        QVERIFY(enabled("cmdCreditMinus"));
        QCOMPARE(received().count(u"AddCredit|1"_s), 1);

        // A confirmation that comes later still sets both buttons.
        answer("Credit", u"0"_s);
        notice(u"ChangeCredit"_s);
        QTRY_COMPARE(text("lblCredits"), u"0"_s);
        QVERIFY(!enabled("cmdCreditMinus"));
        QVERIFY(enabled("cmdCreditPlus"));
    }

    void clickWithTheLinkDownSendsNothing()
    {
        QVERIFY(logIn());
        sim->close();
        QTRY_COMPARE(text("lblStatus"), u"Verbindung getrennt"_s);
        // The controls are off now; a click that still gets through (as from a handler inside a
        // wait) sends nothing, and its button does not come back by itself.
        panel->SetControlsEnabled(true);
        const int before = received().size();
        QTest::mouseClick(get<QPushButton>("cmdCreditPlus"), Qt::LeftButton);
        QVERIFY(!enabled("cmdCreditPlus"));
        QVERIFY(!get<QTimer>("tmrCreditPlusWait")->isActive());
        QCOMPARE(received().size(), before);
    }

    void setControlsEnabledTouchesExactlyTheSwitchedRows()
    {
        QVERIFY(logIn());
        panel->SetControlsEnabled(false);
        // Every named control of the window: off exactly when its row says Switched.
        const QList<const char *> switched = controlsWith(PanelControl::Switched);
        int off = 0;
        for (const QWidget *child : panel->findChildren<QWidget *>()) {
            const QByteArray name = child->objectName().toLatin1();
            if (name.isEmpty() || child->parentWidget() != panel.get())
                continue;
            const bool isSwitched =
                std::any_of(switched.begin(), switched.end(), [&](const char *row) { return name == row; });
            QVERIFY2(child->isEnabled() != isSwitched, name.constData());
            off += isSwitched;
        }
        QCOMPARE(off, switched.size());
        panel->SetControlsEnabled(true);
        QVERIFY(enabled("cmdCreditMinus"));
        answer("Credit", u"0"_s);
        notice(u"ChangeCredit"_s);
        QTRY_VERIFY(!enabled("cmdCreditMinus"));
        panel->SetControlsEnabled(true); // on whatever the count
        QVERIFY(enabled("cmdCreditMinus"));
    }

    // Observers act through the panel's face: each action is a click on its control, and only
    // while that control is on.
    void theFaceActsAsThePanelsControls()
    {
        sim->faults().ignoreCommands = true; // nothing confirms: a credit button stays off
        QVERIFY(logIn());
        PanelFace *face = panel->face();
        QTRY_COMPARE(face->state(), panel->state());
        QCOMPARE(face->state().song, u"Mein Lied"_s);
        const int before = received().size();
        QVERIFY(face->perform(Command::NextTitle));
        QVERIFY(face->perform(Command::AddCredit));
        QVERIFY(!face->perform(Command::AddCredit)); // off until the jukebox confirms
        QVERIFY(face->moveVolume(130));
        QTRY_COMPARE(received().mid(before), names({"CtrlN\u00E4chsterTitel", "AddCredit|1", "SetVolume|100"}));
        panel->showMinimized();
        face->raise();
        QVERIFY(!(panel->windowState() & Qt::WindowMinimized));
        QVERIFY(panel->isVisible());
    }

    void pollWhilePlayingFollowsTheJukebox()
    {
        QVERIFY(logIn());
        answer("Volume", u"40"_s);
        answer("SongPos", u"100"_s);
        const int before = received().size();
        QVERIFY(pollOnce(u"SongPos"_s));
        QCOMPARE(received().mid(before), names({"GetVolume", "GetPlayStatus", "GetSongPos"}));
        QCOMPARE(get<QScrollBar>("scrVol")->value(), 40);
        QCOMPARE(panel->lastVolume(), 40);
        QCOMPARE(panel->progress().value(), 100.0f);

        // The bar moved by the poll sends nothing after its rest.
        QVERIFY(volumeRested());
        QVERIFY(!received().join(u',').contains(u"SetVolume"_s));

        // Position at the known length: the poll learns the new length.
        answer("SongPos", u"215"_s);
        answer("SongLength", u"300"_s);
        const int second = received().size();
        QVERIFY(pollOnce(u"SongLength"_s));
        QCOMPARE(received().mid(second), names({"GetVolume", "GetPlayStatus", "GetSongPos", "GetSongLength"}));
        QCOMPARE(panel->progress().maximum(), 300.0f);
        QCOMPARE(panel->progress().value(), 100.0f);
    }

    void pollWhileStoppedAsksTwoQuestions()
    {
        QVERIFY(logIn());
        answer("PlayStatus", u"Pause"_s);
        const int before = received().size();
        QVERIFY(pollOnce(u"PlayStatus"_s));
        QTRY_VERIFY(!link->isWaiting());
        QCOMPARE(panel->stopped(), 1);
        QVERIFY(!enabled("cmdStop"));
        QVERIFY(volumeRested()); // a pending bar move skips the volume
        // The next poll asks only for volume and play status.
        const int second = received().size();
        QVERIFY(pollOnce(u"PlayStatus"_s));
        QCOMPARE(received().mid(second), names({"GetVolume", "GetPlayStatus"}));
        QVERIFY(received().mid(before).count(u"GetSongPos"_s) == 0);
    }

    void pollVolumeReadings_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("expected");
        QTest::newRow("half rounds to even, up") << "51.5" << 52;
        QTest::newRow("above the range") << "101" << 40;
    }

    void pollVolumeReadings()
    {
        QFETCH(QString, reply);
        QFETCH(int, expected);
        answer("PlayStatus", u"Pause"_s);
        QVERIFY(logIn());
        QVERIFY(pollOnce(u"PlayStatus"_s)); // bar to 40
        QVERIFY(volumeRested());
        answer("Volume", reply);
        QVERIFY(pollOnce(u"PlayStatus"_s));
        QCOMPARE(get<QScrollBar>("scrVol")->value(), expected);
        QCOMPARE(panel->lastVolume(), expected);
    }

    void volumeIsSentOnceAfterTheBarRests()
    {
        answer("PlayStatus", u"Pause"_s);
        QVERIFY(logIn());
        QVERIFY(pollOnce(u"PlayStatus"_s));
        QVERIFY(volumeRested());
        auto *bar = get<QScrollBar>("scrVol");
        QCOMPARE(bar->value(), 40);

        const int before = received().size();
        for (int v : {45, 52, 60, 70})
            bar->setValue(v);
        QVERIFY(get<QTimer>("tmrVolume")->isActive());
        QTRY_COMPARE(received().mid(before), QStringList{u"SetVolume|70"_s});
        QCOMPARE(panel->lastVolume(), 70);

        // Away and back within the rest: nothing goes out.
        bar->setValue(80);
        bar->setValue(70);
        QVERIFY(volumeRested());
        QCOMPARE(received().size(), before + 1);

        // Keyboard steps go through the same rest.
        bar->setFocus();
        QTest::keyClick(bar, Qt::Key_PageDown);
        QTest::keyClick(bar, Qt::Key_Right);
        QTRY_COMPARE(received().last(), u"SetVolume|91"_s);
        QTest::keyClick(bar, Qt::Key_PageUp);
        QTest::keyClick(bar, Qt::Key_Left);
        QTest::keyClick(bar, Qt::Key_Left);
        QTRY_COMPARE(received().last(), u"SetVolume|69"_s);

        // The wheel too: two notches away from the user.
        QWheelEvent wheel(QPointF(5, 5), bar->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 240), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(bar, &wheel);
        QTRY_COMPARE(received().last(), u"SetVolume|71"_s);
        QCOMPARE(received().count(u"SetVolume|71"_s), 1);
    }

    void pollIsPausedDuringQueriesAndStaysOffOnceTheLinkIsGone()
    {
        QVERIFY(logIn());
        bool pollOnDuringWait = true;
        QMetaObject::Connection watch = connect(sim.get(), &SimServer::messageReceived, this, [&](const QString &t) {
            if (t == u"GetVolume"_s)
                pollOnDuringWait = poll()->isActive();
        });
        QVERIFY(pollOnce(u"SongPos"_s));
        QVERIFY(!pollOnDuringWait);
        QCOMPARE(panel->lastVolume(), 40);
        disconnect(watch);

        // The link drops while the volume question waits: the poll ends there, stays off, and
        // nothing the panel shows is reset by questions to the dead link.
        connect(sim.get(), &SimServer::messageReceived, this, [&](const QString &t) {
            if (t == u"GetVolume"_s)
                sim->close();
        });
        link->setQueryTimeout(60000);
        poll()->start(1);
        QTRY_COMPARE(text("lblStatus"), u"Verbindung getrennt"_s);
        QTRY_VERIFY(idle());
        QTest::qWait(50);
        QVERIFY(!poll()->isActive());
        QCOMPARE(get<QScrollBar>("scrVol")->value(), 40);
        QCOMPARE(panel->lastVolume(), 40);
        QCOMPARE(panel->stopped(), 0);
        QCOMPARE(queries().mid(queries().lastIndexOf(u"Volume"_s)), names({"Volume"}));
    }

    void volumeMoveDuringThePollsQuestionStands()
    {
        answer("PlayStatus", u"Pause"_s);
        QVERIFY(logIn());
        QVERIFY(pollOnce(u"PlayStatus"_s)); // the bar at 40
        QVERIFY(volumeRested());

        // The jukebox takes longer than the rest to answer "40"; the user moves the bar meanwhile.
        auto *bar = get<QScrollBar>("scrVol");
        sim->faults().answerDelayMs = Vocabulary::kVolumeRest + 400;
        sim->faults().delayedValues = names({"Volume"});
        link->setQueryTimeout(5000);
        QMetaObject::Connection move = connect(sim.get(), &SimServer::messageReceived, this, [&](const QString &t) {
            if (t == u"GetVolume"_s)
                bar->setValue(70);
        });
        const int before = received().size();
        QVERIFY(pollOnce(u"PlayStatus"_s));
        disconnect(move);
        QVERIFY(volumeRested());
        QCOMPARE(bar->value(), 70);
        QCOMPARE(panel->lastVolume(), 70);
        QCOMPARE(received().mid(before).count(u"SetVolume|70"_s), 1);
    }

    void timingsTheUserFeels()
    {
        // The intervals the program really runs with, not what a test set.
        link = new JukeboxLink;
        panel = std::make_unique<Kurvan>(link, ServerLogin{u"127.0.0.1"_s, u"1"_s, kSecret});
        QCOMPARE(get<QTimer>("tmrQueryTimeOut")->interval(), 5000);
        QCOMPARE(get<QTimer>("tmrCheckStatus")->interval(), 2000);
        QCOMPARE(get<QTimer>("tmrVolume")->interval(), 500);
        QCOMPARE(get<QTimer>("tmrCreditPlusWait")->interval(), 5000);
        QCOMPARE(get<QTimer>("tmrCreditMinusWait")->interval(), 5000);
    }

    void keyboardReachesEveryControlInOrder()
    {
        QVERIFY(logIn());
        QVERIFY(QTest::qWaitForWindowActive(panel.get()));
        get<QWidget>("scrVol")->setFocus();
        const QStringList order =
            names({"cmdCreditPlus", "cmdCreditMinus", "cmdNextTitle", "cmdPrevTitle", "cmdStop", "cmdEnd", "scrVol"});
        for (const QString &next : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), next);
        }
        // Screen readers get a German name for every control, the symbol buttons included.
        QCOMPARE(get<QWidget>("cmdStop")->accessibleName(), u"Stopp"_s);
        QCOMPARE(get<QWidget>("cmdPrevTitle")->accessibleName(), u"Vorheriger Titel"_s);
        QCOMPARE(get<QWidget>("cmdNextTitle")->accessibleName(), u"N\u00E4chster Titel"_s);
        for (const QString &c : names({"cmdCreditMinus", "cmdCreditPlus", "scrVol", "ProgressBar1"}))
            QVERIFY2(!get<QWidget>(qPrintable(c))->accessibleName().isEmpty(), qPrintable(c));
    }

    void layoutMatchesTheWindowTable()
    {
        makePanel(u"1"_s);
        QCOMPARE(panel->size(), QSize(412, 357));
        const QList<std::pair<const char *, QRect>> table = {
            {"Label1", {40, 8, 329, 29}},          {"Label5", {96, 64, 63, 24}},
            {"cmdCreditMinus", {168, 61, 41, 33}}, {"lblCredits", {224, 64, 38, 24}},
            {"cmdCreditPlus", {272, 61, 41, 33}},  {"Label3", {8, 104, 89, 24}},
            {"scrVol", {104, 101, 297, 33}},       {"Label4", {144, 160, 119, 22}},
            {"lblCurrentSong", {8, 192, 390, 24}}, {"ProgressBar1", {8, 224, 393, 33}},
            {"cmdEnd", {8, 280, 137, 41}},         {"cmdStop", {152, 280, 57, 41}},
            {"cmdPrevTitle", {216, 280, 89, 41}},  {"cmdNextTitle", {312, 280, 89, 41}},
            {"Label2", {0, 336, 148, 16}},         {"lblVersion", {152, 336, 43, 18}},
            {"lblStatus", {200, 336, 211, 21}},
        };
        for (const auto &[name, rect] : table)
            QCOMPARE(get<QWidget>(name)->geometry(), rect);
        // Every fixed text fits its box without eliding.
        for (FitLabel *label : panel->findChildren<FitLabel *>())
            QVERIFY2(!label->isElided(), qPrintable(label->objectName()));
        panel->findChild<QLabel *>(u"lblStatus"_s)->setText(u"Authentifizierung fehlgeschlagen!"_s);
        QVERIFY(!panel->findChild<FitLabel *>(u"lblStatus"_s)->isElided());
        for (QPushButton *button : panel->findChildren<QPushButton *>()) {
            const int needed = QFontMetrics(button->font()).horizontalAdvance(button->text());
            QVERIFY2(needed <= button->width() - 8, qPrintable(button->objectName()));
        }
    }
};

QTEST_MAIN(TestPanel)
#include "TestPanel.moc"
