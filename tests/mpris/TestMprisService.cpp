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

using namespace Qt::StringLiterals;

namespace {

const QString kPath = u"/org/mpris/MediaPlayer2"_s;
const QString kPlayer = u"org.mpris.MediaPlayer2.Player"_s;
const QString kJukebox = u"de.kurvan.Jukebox1"_s;
const QString kRoot = u"org.mpris.MediaPlayer2"_s;
// A change reaches the bus within a pass or two of the event loop.
constexpr int kAnnounceWait = 2000;

// A panel that plays, everything on: "Mein Lied" at 30.5 of 215.25 s, volume 41, 3 credits.
PanelState playingPanel()
{
    PanelState state;
    state.song = u"Mein Lied"_s;
    state.playing = true;
    state.songLength = 215.25f;
    state.songPosition = 30.5f;
    state.volume = 41;
    state.credits = u"3"_s;
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
    QString trackId() { return metadata().value(u"mpris:trackid"_s).value<QDBusObjectPath>().path(); }
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
        other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"other"_s);
        QVERIFY(other.registerService(MprisService::kServiceName));
        service = std::make_unique<MprisService>();
        QVERIFY(service->start());
        busName = MprisService::kServiceName + u".instance"_s + QString::number(QCoreApplication::applicationPid());
        QVERIFY(bus.interface()->isServiceRegistered(busName).value());
        QVERIFY(bus.connect(busName, kPath, u"org.freedesktop.DBus.Properties"_s, u"PropertiesChanged"_s, this,
                            SLOT(propertiesChanged(QString, QVariantMap, QStringList))));
    }

    void cleanupTestCase()
    {
        service.reset();
        QDBusConnection::disconnectFromBus(u"other"_s);
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
        QCOMPARE(read(kPlayer, "PlaybackStatus").toString(), u"Stopped"_s);
        QCOMPARE(read(kJukebox, "Credits").toInt(), -1);
        QCOMPARE(trackId(), u"/org/mpris/MediaPlayer2/TrackList/NoTrack"_s);
        QCOMPARE(metadata().keys(), QStringList{u"mpris:trackid"_s}); // no title, no length
        for (const char *can : {"CanPlay", "CanGoNext", "CanGoPrevious"})
            QVERIFY2(!read(kPlayer, can).toBool(), can);
        QVERIFY(!callBool(kJukebox, u"AddCredit"_s));
        call(kRoot, u"Raise"_s);
        QCOMPARE(raised.size(), 1);
        service->setFace(nullptr);
        call(kRoot, u"Raise"_s);
        QVERIFY(!callBool(kJukebox, u"AddCredit"_s));
        QCOMPARE(raised.size(), 1);
        QVERIFY(performed.isEmpty());
    }

    void playerShowsThePanelInMicroseconds()
    {
        // Fractions of a second and of the volume, where a wrong unit or rounding shows.
        QVERIFY(show(playingPanel()));
        QCOMPARE(read(kPlayer, "PlaybackStatus").toString(), u"Playing"_s);
        QCOMPARE(read(kPlayer, "Volume").toDouble(), 0.41);
        const QVariantMap meta = metadata();
        QCOMPARE(meta.value(u"xesam:title"_s).toString(), u"Mein Lied"_s);
        QCOMPARE(meta.value(u"mpris:length"_s).toLongLong(), 215250000LL);
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
        next.song = u"Zweites Lied"_s;
        QVERIFY(show(next));
        QCOMPARE(metadata().value(u"xesam:title"_s).toString(), u"Zweites Lied"_s);
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
        QCOMPARE(changes, (QList<std::pair<QString, QVariantMap>>{{kPlayer, {{u"Volume"_s, 0.7}}}}));
    }

    void actionsAskThePanelForItsButtons()
    {
        QVERIFY(show(playingPanel()));
        QSignalSpy performed(face.get(), &PanelFace::performRequested);
        call(kPlayer, u"Next"_s);
        call(kPlayer, u"Previous"_s);
        call(kPlayer, u"Stop"_s);
        QVERIFY(callBool(kJukebox, u"AddCredit"_s));
        QVERIFY(callBool(kJukebox, u"RemoveCredit"_s));
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
        stopped.credits = u"0"_s;
        stopped.allowed.at(static_cast<size_t>(Command::AddCredit)) = true;
        stopped.canSetVolume = true;
        QVERIFY(show(stopped));
        QCOMPARE(read(kPlayer, "PlaybackStatus").toString(), u"Stopped"_s);
        for (const char *can : {"CanPlay", "CanGoNext", "CanGoPrevious"})
            QVERIFY2(!read(kPlayer, can).toBool(), can);
        QCOMPARE(read(kJukebox, "Credits").toInt(), 0);
        QVERIFY(read(kJukebox, "CanAddCredit").toBool());
        QVERIFY(!read(kJukebox, "CanRemoveCredit").toBool());
        QSignalSpy performed(face.get(), &PanelFace::performRequested);
        QVERIFY(!callBool(kJukebox, u"RemoveCredit"_s));
        call(kPlayer, u"Next"_s);
        call(kPlayer, u"Stop"_s);
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
        QCOMPARE(read(kPlayer, "PlaybackStatus").toString(), u"Stopped"_s);
        QVERIFY(!callBool(kJukebox, u"AddCredit"_s));
        QVERIFY(!service->moveVolume(70));
        QTRY_COMPARE_WITH_TIMEOUT(announced(kPlayer).value(u"PlaybackStatus"_s).toString(), u"Stopped"_s,
                                  kAnnounceWait);
        QCOMPARE(announced(kPlayer).value(u"CanGoNext"_s), QVariant(false));
        QTRY_COMPARE_WITH_TIMEOUT(announced(kJukebox).value(u"CanAddCredit"_s), QVariant(false), kAnnounceWait);
        QVERIFY(!announced(kPlayer).contains(u"Position"_s));
        QVERIFY(performed.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMprisService)
#include "TestMprisService.moc"
