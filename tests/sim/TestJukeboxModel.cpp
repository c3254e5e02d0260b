#include "JukeboxModel.h"
#include "link/Messages.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

// The jukebox's state on its own, with a hand-driven clock: what the loopback tests cannot
// reach without waiting.
class TestJukeboxModel : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_now = 1'000'000;
        m_model = std::make_unique<JukeboxModel>();
        m_model->setClock([this] { return m_now; });
        m_model->setSongs({{u"C:\\a\\Eins.mp3"_s, 10}, {u"C:\\b\\Zwei.wav"_s, 20}, {u"C:\\c\\Drei.ogg"_s, 30}});
    }

    void countsStayInRange()
    {
        QSignalSpy changed(m_model.get(), &JukeboxModel::creditChanged);
        m_model->setCredit(1);
        m_model->removeCredit(5);
        m_model->removeCredit(1); // nothing to take, yet the client waits for its notice
        QCOMPARE(m_model->credit(), 0);
        QCOMPARE(changed.count(), 2);
        m_model->addCredit(0);
        m_model->removeCredit(-2);
        QCOMPARE(changed.count(), 2);
        m_model->addCredit(std::numeric_limits<int>::max());
        QCOMPARE(m_model->credit(), JukeboxModel::kMaxCredit);

        QVERIFY(!m_model->setVolume(-1));
        QVERIFY(!m_model->setVolume(101));
        QVERIFY(m_model->setVolume(100));
        QCOMPARE(m_model->volume(), 100);

        m_model->setSongs({});
        QCOMPARE(m_model->songs().size(), 3);
        m_model->setSongs({{u"X:\\kurz.mp3"_s, 0}});
        QCOMPARE(m_model->songLength(), 1); // a title of no length would end as it starts
    }

    void timeMovesThroughThePlaylist()
    {
        QSignalSpy title(m_model.get(), &JukeboxModel::titleChanged);
        QSignalSpy stopped(m_model.get(), &JukeboxModel::playbackStopped);

        m_now += 9'999;
        QCOMPARE(m_model->value(Msg::SongPos).value_or(QString()), u"9"_s);
        QCOMPARE(m_model->msUntilSongEnd(), 1);
        m_now += 1;
        QCOMPARE(m_model->value(Msg::CurrentSong).value_or(QString()),
                 u"C:\\b\\Zwei.wav"_s); // value() syncs
        QCOMPARE(title.count(), 1);

        // One step across the rest of the second title and into the third: the overshoot carries.
        m_now += 25'000;
        m_model->sync();
        QCOMPARE(m_model->currentIndex(), 2);
        QCOMPARE(m_model->songPosition(), 5);
        QCOMPARE(title.count(), 2);

        m_now += 25'000;
        m_model->sync();
        QVERIFY(!m_model->isPlaying());
        QCOMPARE(m_model->msUntilSongEnd(), -1);
        QCOMPARE(stopped.count(), 1);
        m_now += 100'000;
        m_model->sync();
        QCOMPARE(stopped.count(), 1);
        QCOMPARE(m_model->songPosition(), 0);
        QCOMPARE(title.count(), 2);

        // Time spent stopped does not count; skipping starts the next title (wrapping) from 0.
        m_model->nextTitle();
        QVERIFY(m_model->isPlaying());
        QCOMPARE(m_model->currentIndex(), 0);
        QCOMPARE(m_model->songPosition(), 0);
        QCOMPARE(m_model->msUntilSongEnd(), 10'000);
    }

    void replacingTheClockKeepsThePosition()
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

private:
    std::unique_ptr<JukeboxModel> m_model;
    qint64 m_now = 0;
};

QTEST_GUILESS_MAIN(TestJukeboxModel)
#include "TestJukeboxModel.moc"
