#include "mpris/MprisService.h"
#include "panel/PanelFace.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <limits>

namespace {

const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kJukebox = QStringLiteral("de.kurvan.Jukebox1");
const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
// A change reaches the bus within a pass or two of the event loop.
constexpr int kAnnounceWait = 2000;

// A panel that plays, everything on: "Mein Lied" at 30.5 of 215.25 s, volume 41, 3 credits.
PanelState playingPanel()
{
    PanelState state;
    state.song = QStringLiteral("Mein Lied");
    state.playing = true;
    state.songLength = 215.25f;
    state.songPosition = 30.5f;
    state.volume = 41;
    state.credits = QStringLiteral("3");
    state.allowed.fill(true);
    state.canSetVolume = true;
    return state;
}

} // namespace

// The desktop's media interface in this process, on a private session bus (dbus-run-session),
// called as a desktop would through QDBusInterface. Behind it is a face made by hand: the test
// sets what the panel shows and allows, and records what the interface asks of the panel.
class TestMprisService : public QObject
{
    Q_OBJECT

    std::unique_ptr<MprisService> service;
    std::unique_ptr<PanelFace> face;
    QDBusConnection other = QDBusConnection(QString());
    QString busName;
    QList<std::pair<QString, QVariantMap>> changes;

    QVariant read(const QString &interface, const char *property)
    {
        QDBusInterface object(busName, kPath, interface, QDBusConnection::sessionBus());
        return object.property(property);
    }
    QVariantMap metadata() { return qdbus_cast<QVariantMap>(read(kPlayer, "Metadata")); }
    QString trackId() { return metadata().value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path(); }
    QDBusMessage call(const QString &interface, const QString &method)
    {
        QDBusInterface object(busName, kPath, interface, QDBusConnection::sessionBus());
        return object.call(QDBus::Block, method);
    }
    bool callBool(const QString &interface, const QString &method)
    {
        return QDBusReply<bool>(call(interface, method)).value();
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
    // The face shows state, and the service has taken it over.
    bool show(const PanelState &state)
    {
        face->publish(state);
        return QTest::qWaitFor([&] { return service->state() == state; }, kAnnounceWait);
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
        // Another program holds the usual name: the service takes its instance name instead.
        other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other"));
        QVERIFY(other.registerService(MprisService::kServiceName));
        service = std::make_unique<MprisService>();
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
        face = std::make_unique<PanelFace>();
        service->setFace(face.get());
        changes.clear();
    }

    void cleanup()
    {
        service->setFace(nullptr);
        face.reset();
    }

    // The connection dialog's face, before a panel stands, and no face at all.
    void aFaceThatShowsNothingPlaysNothingAndRaisesItsWindow()
    {
        QSignalSpy raised(face.get(), &PanelFace::raiseRequested);
        QSignalSpy performed(face.get(), &PanelFace::performRequested);
        QCOMPARE(read(kPlayer, "PlaybackStatus").toString(), QStringLiteral("Stopped"));
        QCOMPARE(read(kJukebox, "Credits").toInt(), -1);
        QCOMPARE(trackId(), QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
        QCOMPARE(metadata().keys(), QStringList{QStringLiteral("mpris:trackid")}); // no title, no length
        for (const char *can : {"CanPlay", "CanGoNext", "CanGoPrevious"})
            QVERIFY2(!read(kPlayer, can).toBool(), can);
        QVERIFY(!callBool(kJukebox, QStringLiteral("AddCredit")));
        call(kRoot, QStringLiteral("Raise"));
        QCOMPARE(raised.size(), 1);
        service->setFace(nullptr);
        call(kRoot, QStringLiteral("Raise"));
        QVERIFY(!callBool(kJukebox, QStringLiteral("AddCredit")));
        QCOMPARE(raised.size(), 1);
        QVERIFY(performed.isEmpty());
    }

    void playerShowsThePanelInMicroseconds()
    {
        // Fractions of a second and of the volume, where a wrong unit or rounding shows.
        QVERIFY(show(playingPanel()));
        QCOMPARE(read(kPlayer, "PlaybackStatus").toString(), QStringLiteral("Playing"));
        QCOMPARE(read(kPlayer, "Volume").toDouble(), 0.41);
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

        // A new title gets a path of its own, also when the same title comes again.
        const QString firstTrack = trackId();
        PanelState next = playingPanel();
        next.song = QStringLiteral("Zweites Lied");
        QVERIFY(show(next));
        QCOMPARE(metadata().value(QStringLiteral("xesam:title")).toString(), QStringLiteral("Zweites Lied"));
        const QString secondTrack = trackId();
        QVERIFY(secondTrack != firstTrack);
        QVERIFY(show(playingPanel()));
        QVERIFY(trackId() != firstTrack && trackId() != secondTrack);

        // A quiet change found by the poll is announced alone; the position it moves is not.
        QTRY_VERIFY_WITH_TIMEOUT(!announced(kPlayer).isEmpty(), kAnnounceWait);
        QTest::qWait(100); // what the last change announced has arrived
        changes.clear();
        PanelState polled = playingPanel();
        polled.volume = 70;
        polled.songPosition = 31;
        QVERIFY(show(polled));
        QTRY_VERIFY_WITH_TIMEOUT(!changes.isEmpty(), kAnnounceWait);
        QCOMPARE(changes, (QList<std::pair<QString, QVariantMap>>{{kPlayer, {{QStringLiteral("Volume"), 0.7}}}}));
    }

    void actionsAskThePanelForItsButtons()
    {
        QVERIFY(show(playingPanel()));
        QSignalSpy performed(face.get(), &PanelFace::performRequested);
        call(kPlayer, QStringLiteral("Next"));
        call(kPlayer, QStringLiteral("Previous"));
        call(kPlayer, QStringLiteral("Stop"));
        QVERIFY(callBool(kJukebox, QStringLiteral("AddCredit")));
        QVERIFY(callBool(kJukebox, QStringLiteral("RemoveCredit")));
        // Play, Pause and Seek have nothing to ask the jukebox.
        for (const char *nothing : {"Play", "Pause", "PlayPause"})
            call(kPlayer, QLatin1String(nothing));
        QList<Command> asked;
        for (const QList<QVariant> &request : std::as_const(performed))
            asked << request.at(0).value<Command>();
        QCOMPARE(asked, (QList<Command>{Command::NextTitle, Command::PrevTitle, Command::Stop, Command::AddCredit,
                                        Command::RemoveCredit}));
    }

    void volumeIsRoundedAndClampedToTheBar_data()
    {
        QTest::addColumn<double>("volume");
        QTest::addColumn<int>("moved"); // -1: the bar is not moved
        QTest::newRow("half a step rounds up") << 0.505 << 51;
        QTest::newRow("the top") << 1.0 << 100;
        QTest::newRow("above the top") << 1.7 << 100;
        QTest::newRow("the bottom") << 0.0 << 0;
        QTest::newRow("below the bottom") << -0.2 << 0;
        QTest::newRow("not a number") << std::nan("") << -1;
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << -1;
    }
    void volumeIsRoundedAndClampedToTheBar()
    {
        QFETCH(double, volume);
        QFETCH(int, moved);
        QVERIFY(show(playingPanel()));
        QSignalSpy requested(face.get(), &PanelFace::volumeRequested);
        QDBusInterface player(busName, kPath, kPlayer, QDBusConnection::sessionBus());
        player.setProperty("Volume", volume);
        QCOMPARE(requested.size(), moved < 0 ? 0 : 1);
        if (moved >= 0)
            QCOMPARE(requested.first().at(0).toInt(), moved);
    }

    // The panel stopped with no credits: only "+" is on. And after the link went, nothing is,
    // while the panel still shows its title; listeners are told, never about the position.
    void switchedOffControlsRefuseAndTheirChangeIsAnnounced()
    {
        PanelState stopped;
        stopped.credits = QStringLiteral("0");
        stopped.allowed.at(static_cast<size_t>(Command::AddCredit)) = true;
        stopped.canSetVolume = true;
        QVERIFY(show(stopped));
        QCOMPARE(read(kPlayer, "PlaybackStatus").toString(), QStringLiteral("Stopped"));
        for (const char *can : {"CanPlay", "CanGoNext", "CanGoPrevious"})
            QVERIFY2(!read(kPlayer, can).toBool(), can);
        QCOMPARE(read(kJukebox, "Credits").toInt(), 0);
        QVERIFY(read(kJukebox, "CanAddCredit").toBool());
        QVERIFY(!read(kJukebox, "CanRemoveCredit").toBool());
        QSignalSpy performed(face.get(), &PanelFace::performRequested);
        QVERIFY(!callBool(kJukebox, QStringLiteral("RemoveCredit")));
        call(kPlayer, QStringLiteral("Next"));
        call(kPlayer, QStringLiteral("Stop"));
        QVERIFY(performed.isEmpty());

        // Each capability reads its own control; CanPlay the stop button's, whatever plays.
        PanelState some = playingPanel();
        some.allowed.fill(false);
        some.allowed.at(static_cast<size_t>(Command::NextTitle)) = true;
        some.allowed.at(static_cast<size_t>(Command::RemoveCredit)) = true;
        QVERIFY(show(some));
        for (const auto &[interface, can, on] :
             QList<std::tuple<QString, const char *, bool>>{{kPlayer, "CanGoNext", true},
                                                            {kPlayer, "CanGoPrevious", false},
                                                            {kPlayer, "CanPlay", false},
                                                            {kJukebox, "CanAddCredit", false},
                                                            {kJukebox, "CanRemoveCredit", true}})
            QVERIFY2(read(interface, can).toBool() == on, can);

        QVERIFY(show(playingPanel()));
        QTRY_VERIFY_WITH_TIMEOUT(!announced(kPlayer).isEmpty(), kAnnounceWait);
        changes.clear();
        PanelState lost = playingPanel();
        lost.playing = false;
        lost.allowed.fill(false);
        lost.canSetVolume = false;
        lost.songPosition = 0;
        QVERIFY(show(lost));
        QCOMPARE(read(kPlayer, "PlaybackStatus").toString(), QStringLiteral("Stopped"));
        QVERIFY(!callBool(kJukebox, QStringLiteral("AddCredit")));
        QVERIFY(!service->moveVolume(70));
        QTRY_COMPARE_WITH_TIMEOUT(announced(kPlayer).value(QStringLiteral("PlaybackStatus")).toString(),
                                  QStringLiteral("Stopped"), kAnnounceWait);
        QCOMPARE(announced(kPlayer).value(QStringLiteral("CanGoNext")), QVariant(false));
        QTRY_COMPARE_WITH_TIMEOUT(announced(kJukebox).value(QStringLiteral("CanAddCredit")), QVariant(false),
                                  kAnnounceWait);
        QVERIFY(!announced(kPlayer).contains(QStringLiteral("Position")));
        QVERIFY(performed.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMprisService)
#include "TestMprisService.moc"
