#include "JukeboxModel.h"
#include "Messages.h"

#include <QSignalSpy>
#include <QTest>

// The jukebox's state on its own, with a hand-driven clock.
class TestJukeboxModel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void answersEveryValueName();
    void creditStaysInRangeAndAlwaysNotifies();
    void skippingWrapsAndStartsPlayback();
    void positionFollowsTheClock();
    void titlesRunOutOneAfterAnother();
    void replacingTheClockKeepsThePosition();
    void refusesBadVolumeAndPlaylist();

private:
    QString valueOf(const QString &name) { return m_model->value(name).value_or(QStringLiteral("<none>")); }

    std::unique_ptr<JukeboxModel> m_model;
    qint64 m_now = 0;
};

void TestJukeboxModel::init()
{
    m_now = 1'000'000;
    m_model = std::make_unique<JukeboxModel>();
    m_model->setClock([this] { return m_now; });
    m_model->setSongs({{QStringLiteral("C:\\a\\Erstes_Lied.mp3"), 10},
                       {QStringLiteral("C:\\b\\Zweites.wav"), 20},
                       {QStringLiteral("C:\\c\\Drittes.ogg"), 30}});
}

void TestJukeboxModel::answersEveryValueName()
{
    m_now += 4'700;
    m_model->setCredit(12);
    QVERIFY(m_model->setVolume(35));
    QCOMPARE(valueOf(Msg::Credit), QStringLiteral("12"));
    QCOMPARE(valueOf(Msg::PlayStatus), Msg::Playing);
    QCOMPARE(valueOf(Msg::CurrentSong), QStringLiteral("C:\\a\\Erstes_Lied.mp3"));
    QCOMPARE(valueOf(Msg::SongLength), QStringLiteral("10"));
    QCOMPARE(valueOf(Msg::SongPos), QStringLiteral("4"));
    QCOMPARE(valueOf(Msg::Volume), QStringLiteral("35"));
    for (const QString &name : JukeboxModel::valueNames())
        QVERIFY2(m_model->value(name).has_value() && !m_model->value(name)->isEmpty(), qPrintable(name));

    QVERIFY(!m_model->value(QStringLiteral("Nope")));
    QVERIFY(!m_model->value(QStringLiteral("volume")));
    QVERIFY(!m_model->value(QString()));

    m_model->stop();
    QVERIFY(valueOf(Msg::PlayStatus) != Msg::Playing);
    QCOMPARE(valueOf(Msg::SongPos), QStringLiteral("0"));
}

void TestJukeboxModel::creditStaysInRangeAndAlwaysNotifies()
{
    QSignalSpy changed(m_model.get(), &JukeboxModel::creditChanged);
    m_model->setCredit(1);
    QCOMPARE(changed.count(), 0);

    m_model->removeCredit(5);
    QCOMPARE(m_model->credit(), 0);
    m_model->removeCredit(1); // nothing to take, yet the client waits for its notice
    QCOMPARE(m_model->credit(), 0);
    QCOMPARE(changed.count(), 2);

    m_model->addCredit(3);
    QCOMPARE(m_model->credit(), 3);
    m_model->addCredit(0);
    m_model->removeCredit(-2);
    QCOMPARE(m_model->credit(), 3);
    QCOMPARE(changed.count(), 3);

    m_model->addCredit(std::numeric_limits<int>::max());
    QCOMPARE(m_model->credit(), JukeboxModel::kMaxCredit);
}

void TestJukeboxModel::skippingWrapsAndStartsPlayback()
{
    QSignalSpy title(m_model.get(), &JukeboxModel::titleChanged);
    QSignalSpy stopped(m_model.get(), &JukeboxModel::playbackStopped);

    m_model->previousTitle();
    QCOMPARE(m_model->currentIndex(), 2);
    m_model->nextTitle();
    QCOMPARE(m_model->currentIndex(), 0);
    QCOMPARE(title.count(), 2);

    m_now += 3'000;
    m_model->stop();
    m_model->stop();
    QCOMPARE(stopped.count(), 2);
    QVERIFY(!m_model->isPlaying());
    QCOMPARE(m_model->msUntilSongEnd(), -1);

    m_now += 60'000; // time while stopped does not count
    m_model->nextTitle();
    QVERIFY(m_model->isPlaying());
    QCOMPARE(m_model->currentIndex(), 1);
    QCOMPARE(m_model->songPosition(), 0);
    QCOMPARE(m_model->msUntilSongEnd(), 20'000);
}

void TestJukeboxModel::positionFollowsTheClock()
{
    m_now += 9'999;
    m_model->sync();
    QCOMPARE(m_model->songPosition(), 9);
    QCOMPARE(m_model->currentIndex(), 0);
    QCOMPARE(m_model->msUntilSongEnd(), 1);
}

void TestJukeboxModel::titlesRunOutOneAfterAnother()
{
    QSignalSpy title(m_model.get(), &JukeboxModel::titleChanged);
    QSignalSpy stopped(m_model.get(), &JukeboxModel::playbackStopped);

    m_now += 10'000;
    QCOMPARE(valueOf(Msg::CurrentSong), QStringLiteral("C:\\b\\Zweites.wav")); // value() syncs
    QCOMPARE(title.count(), 1);
    QCOMPARE(m_model->songPosition(), 0);

    // One step across the rest of the second title and into the third: the overshoot carries.
    m_now += 25'000;
    m_model->sync();
    QCOMPARE(m_model->currentIndex(), 2);
    QCOMPARE(m_model->songPosition(), 5);
    QCOMPARE(title.count(), 2);
    QCOMPARE(stopped.count(), 0);

    m_now += 25'000;
    m_model->sync();
    QVERIFY(!m_model->isPlaying());
    QCOMPARE(stopped.count(), 1);
    QCOMPARE(title.count(), 2);

    m_now += 100'000;
    m_model->sync();
    QCOMPARE(stopped.count(), 1);
}

void TestJukeboxModel::replacingTheClockKeepsThePosition()
{
    m_now += 6'000;
    qint64 other = 42;
    m_model->setClock([&other] { return other; });
    QCOMPARE(m_model->songPosition(), 6);
    other += 2'000;
    QCOMPARE(m_model->songPosition(), 8);
    m_model->setClock({}); // ignored
    QCOMPARE(m_model->songPosition(), 8);
    m_model->setClock([this] { return m_now; }); // before `other` goes out of scope
}

void TestJukeboxModel::refusesBadVolumeAndPlaylist()
{
    QVERIFY(!m_model->setVolume(-1));
    QVERIFY(!m_model->setVolume(101));
    QCOMPARE(m_model->volume(), 50);
    QVERIFY(m_model->setVolume(0));
    QVERIFY(m_model->setVolume(100));
    QCOMPARE(m_model->volume(), 100);

    m_model->setSongs({});
    QCOMPARE(m_model->songs().size(), 3);
    m_model->setSongs({{QStringLiteral("X:\\kurz.mp3"), 0}});
    QCOMPARE(m_model->songLength(), 1); // a title of no length would end as it starts
}

QTEST_GUILESS_MAIN(TestJukeboxModel)
#include "tst_jukeboxmodel.moc"
