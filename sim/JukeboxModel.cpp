#include "JukeboxModel.h"

#include "link/Messages.h"

#include <QElapsedTimer>

#include <algorithm>

namespace {

const QString kStoppedStatus = QStringLiteral("Gestoppt");

JukeboxModel::Clock steadyClock()
{
    return [timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }()] { return timer.elapsed(); };
}

} // namespace

JukeboxModel::JukeboxModel(QObject *parent) : QObject(parent), m_clock(steadyClock()), m_songs(demoPlaylist())
{
    m_startedAt = m_clock();
}

QList<Song> JukeboxModel::demoPlaylist()
{
    return {
        {QStringLiteral("D:\\Musik\\Rock\\Mein_Lied.mp3"), 215},
        {QStringLiteral("D:\\Musik\\Volksmusik\\Der_fr\u00F6hliche_Wanderer.mp3"), 187},
        {QStringLiteral("D:\\Musik\\Pop\\Die_lange_Nacht.wma"), 243},
        {QStringLiteral("E:\\Jukebox\\Klassik\\Kleine_Nachtmusik_Allegro.ogg"), 356},
        {QStringLiteral("D:\\Musik\\Jazz\\Blue_in_Green.flac"), 337},
    };
}

QStringList JukeboxModel::valueNames()
{
    return {Msg::Version,     Msg::Type,       Msg::Credit,  Msg::PlayStatus,
            Msg::CurrentSong, Msg::SongLength, Msg::SongPos, Msg::Volume};
}

void JukeboxModel::setClock(Clock clock)
{
    if (!clock)
        return;
    const qint64 position = elapsedMs();
    m_clock = std::move(clock);
    m_startedAt = m_clock() - position;
}

std::optional<QString> JukeboxModel::value(const QString &name)
{
    sync();
    if (name == Msg::Version)
        return m_version;
    if (name == Msg::Type)
        return m_type;
    if (name == Msg::Credit)
        return QString::number(m_credit);
    if (name == Msg::PlayStatus)
        return playStatus();
    if (name == Msg::CurrentSong)
        return currentSong();
    if (name == Msg::SongLength)
        return QString::number(songLength());
    if (name == Msg::SongPos)
        return QString::number(songPosition());
    if (name == Msg::Volume)
        return QString::number(m_volume);
    return std::nullopt;
}

void JukeboxModel::setCredit(int credit)
{
    m_credit = std::clamp(credit, 0, kMaxCredit);
}

void JukeboxModel::setSongs(const QList<Song> &songs)
{
    if (songs.isEmpty())
        return;
    m_songs = songs;
    for (Song &song : m_songs)
        song.lengthSeconds = std::max(song.lengthSeconds, 1);
    m_index = 0;
    m_startedAt = m_clock();
}

QString JukeboxModel::playStatus() const
{
    return m_playing ? Msg::Playing : kStoppedStatus;
}

int JukeboxModel::songPosition() const
{
    // sync() keeps a playing title's elapsed time below its length; the cap only guards a
    // caller that reads between a clock step and the next sync().
    const qint64 seconds = elapsedMs() / 1000;
    return static_cast<int>(std::min<qint64>(seconds, songLength()));
}

qint64 JukeboxModel::msUntilSongEnd() const
{
    if (!m_playing)
        return -1;
    return std::max<qint64>(songLength() * qint64(1000) - elapsedMs(), 0);
}

void JukeboxModel::addCredit(int count)
{
    if (count < 1)
        return;
    m_credit = static_cast<int>(std::min<qint64>(qint64(m_credit) + count, kMaxCredit));
    emit creditChanged();
}

void JukeboxModel::removeCredit(int count)
{
    if (count < 1)
        return;
    m_credit = std::max(m_credit - count, 0);
    emit creditChanged();
}

void JukeboxModel::nextTitle()
{
    startTitle((m_index + 1) % m_songs.size());
}

void JukeboxModel::previousTitle()
{
    startTitle((m_index + m_songs.size() - 1) % m_songs.size());
}

void JukeboxModel::play()
{
    startTitle(m_index);
}

void JukeboxModel::stop()
{
    m_playing = false;
    emit playbackStopped();
}

bool JukeboxModel::setVolume(int volume)
{
    if (volume < 0 || volume > kMaxVolume)
        return false;
    m_volume = volume;
    return true;
}

void JukeboxModel::sync()
{
    // A clock step may cover several titles; each one that ended is announced, as the real
    // jukebox would have done while it was played.
    while (m_playing && elapsedMs() >= songLength() * qint64(1000)) {
        m_startedAt += songLength() * qint64(1000);
        if (m_index + 1 < m_songs.size()) {
            ++m_index;
            emit titleChanged();
        } else {
            m_playing = false;
            emit playbackStopped();
        }
    }
}

void JukeboxModel::startTitle(int index)
{
    m_index = index;
    m_playing = true;
    m_startedAt = m_clock();
    emit titleChanged();
}

qint64 JukeboxModel::elapsedMs() const
{
    return m_playing ? std::max<qint64>(m_clock() - m_startedAt, 0) : 0;
}
