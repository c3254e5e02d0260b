#include "PanelFixture.h"
#include "mpris/MprisService.h"
#include "panel/PanelFace.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QTest>
#include <QWidget>
#include <cmath>
#include <limits>

namespace {

const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kJukebox = QStringLiteral("de.kurvan.Jukebox1");
const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
// A change the panel announces reaches the bus within a pass or two of the event loop.
constexpr int kAnnounceWait = 2000;

} // namespace

// The desktop's media interface in this process, on a private session bus (dbus-run-session),
// called as a desktop would through QDBusInterface, with the real panel against the simulator
// behind it.
class TestMprisService : public QObject, PanelFixture
{
    Q_OBJECT

    QWidget startWindow;
    std::unique_ptr<MprisService> service;
    QDBusConnection other = QDBusConnection(QString());
    QString busName;
    QList<std::pair<QString, QVariantMap>> changes;

    QVariant read(const QString &interface, const char *property)
    {
        QDBusInterface object(busName, kPath, interface, QDBusConnection::sessionBus());
        return object.property(property);
    }
    QVariantMap metadata() { return qdbus_cast<QVariantMap>(read(kPlayer, "Metadata")); }
    QDBusMessage call(const QString &interface, const QString &method, const QVariantList &args = {})
    {
        QDBusInterface object(busName, kPath, interface, QDBusConnection::sessionBus());
        return object.callWithArgumentList(QDBus::Block, method, args);
    }
    bool callBool(const QString &interface, const QString &method)
    {
        return QDBusReply<bool>(call(interface, method)).value();
    }
    void setVolume(double value)
    {
        QDBusInterface player(busName, kPath, kPlayer, QDBusConnection::sessionBus());
        player.setProperty("Volume", value);
    }
    // What listeners of interface have been told since the last clear, the newest value of each.
    QVariantMap announced(const QString &interface) const
    {
        QVariantMap all;
        for (const auto &[name, changed] : changes) {
            if (name == interface)
                all.insert(changed);
        }
        return all;
    }
    // Logs in and binds the service to the new panel's face; the state it reports follows.
    bool bindLoggedInPanel()
    {
        if (!logIn())
            return false;
        service->setFace(panel->face());
        return QTest::qWaitFor([this] { return service->state() == panel->state(); }, kAnnounceWait);
    }

public slots:
    void propertiesChanged(const QString &interface, const QVariantMap &changed, const QStringList &)
    {
        changes.append({interface, changed});
    }

private slots:
    void initTestCase()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            QSKIP("needs a session bus: run under dbus-run-session");
        QVERIFY2(loopbackLoginWorks(), "no login over loopback: the wire is broken, every case would fail");
        // Another program holds the usual name: the service takes its instance name instead.
        other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other"));
        QVERIFY(other.registerService(MprisService::kServiceName));
        service = std::make_unique<MprisService>(&startWindow);
        QVERIFY(service->start());
        busName = MprisService::kServiceName + QStringLiteral(".instance") +
                  QString::number(QCoreApplication::applicationPid());
        QVERIFY(bus.interface()->isServiceRegistered(busName).value());
        QVERIFY(bus.connect(busName, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                            QStringLiteral("PropertiesChanged"), this,
                            SLOT(propertiesChanged(QString, QVariantMap, QStringList))));
    }

    void cleanupTestCase()
    {
        service.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("other"));
    }

    void init()
    {
        QVERIFY(startSim());
        scriptPlayingJukebox();
        changes.clear();
    }

    void cleanup()
    {
        service->setFace(nullptr);
        reset();
    }

    void beforeAPanelNothingPlaysAndRaiseShowsTheDialog()
    {
        QCOMPARE(read(kPlayer, "PlaybackStatus").toString(), QStringLiteral("Stopped"));
        QCOMPARE(read(kJukebox, "Credits").toInt(), -1);
        QCOMPARE(metadata().value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path(),
                 QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
        for (const char *can : {"CanPlay", "CanGoNext", "CanGoPrevious"})
            QVERIFY2(!read(kPlayer, can).toBool(), can);
        QVERIFY(!callBool(kJukebox, QStringLiteral("AddCredit")));
        QVERIFY(!startWindow.isVisible());
        call(kRoot, QStringLiteral("Raise"));
        QVERIFY(startWindow.isVisible());
        startWindow.hide();
    }

    void playerShowsThePanelInMicroseconds()
    {
        // Fractions of a second and of the volume, where a wrong unit or rounding shows.
        answer("SongLength", QStringLiteral("215.25"));
        answer("SongPos", QStringLiteral("30.5"));
        answer("Volume", QStringLiteral("41"));
        QVERIFY(bindLoggedInPanel());
        QVERIFY(pollOnce(QStringLiteral("SongPos")));
        QTRY_COMPARE_WITH_TIMEOUT(read(kPlayer, "Volume").toDouble(), 0.41, kAnnounceWait);

        QCOMPARE(read(kPlayer, "PlaybackStatus").toString(), QStringLiteral("Playing"));
        const QVariantMap meta = metadata();
        QCOMPARE(meta.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("Mein Lied"));
        QCOMPARE(meta.value(QStringLiteral("mpris:length")).toLongLong(), 215250000LL);
        QCOMPARE(read(kPlayer, "Position").toLongLong(), 30500000LL);
        for (const char *can : {"CanPlay", "CanGoNext", "CanGoPrevious", "CanControl"})
            QVERIFY2(read(kPlayer, can).toBool(), can);
        for (const char *cannot : {"CanPause", "CanSeek"})
            QVERIFY2(!read(kPlayer, cannot).toBool(), cannot);
        QCOMPARE(read(kJukebox, "Credits").toInt(), 3);
        QVERIFY(read(kJukebox, "CanAddCredit").toBool());
        QVERIFY(read(kJukebox, "CanRemoveCredit").toBool());

        // A new title gets a path of its own.
        const QString firstTrack = meta.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path();
        answer("CurrentSong", QStringLiteral("E:\\Zweites_Lied.ogg"));
        sim->pushNotice(QStringLiteral("ChangeTitle"));
        QTRY_COMPARE_WITH_TIMEOUT(metadata().value(QStringLiteral("xesam:title")).toString(),
                                  QStringLiteral("Zweites Lied"), kAnnounceWait);
        QVERIFY(metadata().value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path() != firstTrack);

        // A quiet change found by the poll is announced alone; the position it moves is not.
        QVERIFY(volumeRested()); // a poll skips the volume while the bar rests from its last move
        QVERIFY(pollOnce(QStringLiteral("SongPos")));
        QTest::qWait(100); // what the last poll announced has arrived
        changes.clear();
        answer("Volume", QStringLiteral("70"));
        answer("SongPos", QStringLiteral("31"));
        QVERIFY(pollOnce(QStringLiteral("SongPos")));
        QTRY_VERIFY_WITH_TIMEOUT(!changes.isEmpty(), kAnnounceWait);
        QVERIFY(pollOnce(QStringLiteral("SongPos")));
        QCOMPARE(changes, (QList<std::pair<QString, QVariantMap>>{{kPlayer, {{QStringLiteral("Volume"), 0.7}}}}));
    }

    void actionsActAsThePanelsButtons()
    {
        sim->faults().ignoreCommands = true; // nothing confirms, so the credit buttons stay off
        QVERIFY(bindLoggedInPanel());
        sim->clearReceived();
        call(kPlayer, QStringLiteral("Next"));
        call(kPlayer, QStringLiteral("Previous"));
        call(kPlayer, QStringLiteral("Stop"));
        QVERIFY(callBool(kJukebox, QStringLiteral("AddCredit")));
        QVERIFY(!callBool(kJukebox, QStringLiteral("AddCredit"))); // off until the jukebox confirms
        QVERIFY(callBool(kJukebox, QStringLiteral("RemoveCredit")));
        // Play, Pause and Seek have nothing to ask the jukebox.
        for (const char *nothing : {"Play", "Pause", "PlayPause"})
            call(kPlayer, QLatin1String(nothing));
        QTRY_COMPARE(received(), names({"CtrlN\u00E4chsterTitel", "CtrlVorherigerTitel", "CtrlStop", "AddCredit|1",
                                        "RemoveCredit|1"}));
    }

    void volumeIsRoundedAndClampedToTheBar_data()
    {
        QTest::addColumn<double>("volume");
        QTest::addColumn<QString>("sent"); // empty: nothing goes out
        QTest::newRow("half a step rounds up") << 0.505 << "SetVolume|51";
        QTest::newRow("the top") << 1.0 << "SetVolume|100";
        QTest::newRow("above the top") << 1.7 << "SetVolume|100";
        QTest::newRow("the bottom") << 0.0 << "SetVolume|0";
        QTest::newRow("below the bottom") << -0.2 << "SetVolume|0";
        QTest::newRow("not a number") << std::nan("") << "";
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << "";
    }

    void volumeIsRoundedAndClampedToTheBar()
    {
        QFETCH(double, volume);
        QFETCH(QString, sent);
        answer("PlayStatus", QStringLiteral("Gestoppt"));
        QVERIFY(bindLoggedInPanel());
        QVERIFY(pollOnce(QStringLiteral("PlayStatus"))); // the bar at 40
        QVERIFY(volumeRested());
        sim->clearReceived();
        setVolume(volume);
        QVERIFY(volumeRested());
        // What went out after the rest is on the wire before the poll's first question.
        QVERIFY(pollOnce(QStringLiteral("PlayStatus")));
        QCOMPARE(received().filter(QStringLiteral("SetVolume")), sent.isEmpty() ? QStringList() : QStringList{sent});
    }

    void switchedOffControlsRefuse()
    {
        answer("PlayStatus", QStringLiteral("Gestoppt"));
        answer("Credit", QStringLiteral("0"));
        QVERIFY(bindLoggedInPanel());
        QCOMPARE(read(kPlayer, "PlaybackStatus").toString(), QStringLiteral("Stopped"));
        for (const char *can : {"CanPlay", "CanGoNext", "CanGoPrevious"})
            QVERIFY2(!read(kPlayer, can).toBool(), can);
        QCOMPARE(read(kJukebox, "Credits").toInt(), 0);
        QVERIFY(read(kJukebox, "CanAddCredit").toBool());
        QVERIFY(!read(kJukebox, "CanRemoveCredit").toBool());
        sim->clearReceived();
        QVERIFY(!callBool(kJukebox, QStringLiteral("RemoveCredit")));
        call(kPlayer, QStringLiteral("Next"));
        call(kPlayer, QStringLiteral("Stop"));
        QVERIFY(pollOnce(QStringLiteral("PlayStatus")));
        QCOMPARE(received(), names({"GetVolume", "GetPlayStatus"}));
    }

    void lostLinkIsAnnouncedAndEveryActionRefused()
    {
        QVERIFY(bindLoggedInPanel());
        changes.clear();
        sim->close();
        // The panel still shows its title and never heard that it stopped: nothing plays without
        // a link all the same, and every control is off.
        QTRY_COMPARE_WITH_TIMEOUT(read(kPlayer, "PlaybackStatus").toString(), QStringLiteral("Stopped"), kAnnounceWait);
        QCOMPARE(text("lblCurrentSong"), QStringLiteral("Mein Lied"));
        for (const char *can : {"CanPlay", "CanGoNext", "CanGoPrevious"})
            QVERIFY2(!read(kPlayer, can).toBool(), can);
        QVERIFY(!read(kJukebox, "CanAddCredit").toBool());
        QVERIFY(!read(kJukebox, "CanRemoveCredit").toBool());
        QVERIFY(!callBool(kJukebox, QStringLiteral("AddCredit")));
        QVERIFY(!service->moveVolume(70));

        // Listeners were told what changed; the position that every poll moves never is.
        QTRY_COMPARE_WITH_TIMEOUT(announced(kPlayer).value(QStringLiteral("PlaybackStatus")).toString(),
                                  QStringLiteral("Stopped"), kAnnounceWait);
        QCOMPARE(announced(kPlayer).value(QStringLiteral("CanGoNext")), QVariant(false));
        QTRY_COMPARE_WITH_TIMEOUT(announced(kJukebox).value(QStringLiteral("CanAddCredit")), QVariant(false),
                                  kAnnounceWait);
        QVERIFY(!announced(kPlayer).contains(QStringLiteral("Position")));
    }

    void raiseBringsThePanelBack()
    {
        QVERIFY(bindLoggedInPanel());
        panel->showMinimized();
        call(kRoot, QStringLiteral("Raise"));
        QVERIFY(!(panel->windowState() & Qt::WindowMinimized));
        QVERIFY(panel->isVisible());
        QVERIFY(!startWindow.isVisible());
    }
};

QTEST_MAIN(TestMprisService)
#include "TestMprisService.moc"
