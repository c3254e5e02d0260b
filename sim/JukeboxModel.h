#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// One title of the playlist: a Windows path as the jukebox reports it, and its length.
struct Song
{
    QString path;
    int lengthSeconds = 0;
};

// The stand-in jukebox's state, free of any I/O: credits, playlist, play status, position and
// volume. Time comes from an injectable clock, so tests move it by hand instead of waiting.
//
// Commands (addCredit, nextTitle, stop, ...) always emit their signal, even when nothing
// changed: the client keeps a button disabled until the notice for its own command arrives, so
// a command that goes unacknowledged would leave that button dead. Setters (setCredit,
// setSongs, ...) configure silently. The passing of time is applied by sync(), which value()
// calls first, so an answer never reports a song that has already ended.
class JukeboxModel : public QObject
{
    Q_OBJECT

public:
    // Milliseconds of a monotonic clock; only differences matter.
    using Clock = std::function<qint64()>;

    static constexpr int kMaxCredit = 9999;
    static constexpr int kMaxVolume = 100;

    explicit JukeboxModel(QObject *parent = nullptr);

    // Five titles with directories, underscores, extensions and one non-ASCII name.
    static QList<Song> demoPlaylist();
    // The names a client may ask for with "Get" + name.
    static QStringList valueNames();

    // Replaces the clock; the current position carries over. An empty clock is ignored.
    void setClock(Clock clock);

    // The answer's value for a value name, after applying the time that has passed;
    // nullopt for a name the jukebox does not know.
    std::optional<QString> value(const QString &name);

    QString version() const { return m_version; }
    void setVersion(const QString &version) { m_version = version; }
    QString type() const { return m_type; }
    void setType(const QString &type) { m_type = type; }

    int credit() const { return m_credit; }
    void setCredit(int credit);
    int volume() const { return m_volume; }

    const QList<Song> &songs() const { return m_songs; }
    // An empty list is refused. Lengths below one second count as one second. Starts over at
    // the first title, keeping the play status; the position goes back to 0.
    void setSongs(const QList<Song> &songs);
    int currentIndex() const { return m_index; }
    QString currentSong() const { return m_songs.at(m_index).path; }
    int songLength() const { return m_songs.at(m_index).lengthSeconds; }

    bool isPlaying() const { return m_playing; }
    QString playStatus() const;
    // Whole seconds into the current title as of the last sync(); 0 while stopped.
    int songPosition() const;
    // Time left in the current title by the clock, for scheduling the next sync(); -1 while
    // stopped.
    qint64 msUntilSongEnd() const;

    // Commands. Counts below 1 are ignored (no signal); the credit stays within 0..kMaxCredit.
    void addCredit(int count);
    void removeCredit(int count);
    // Skipping wraps around the playlist, and starts playback when stopped.
    void nextTitle();
    void previousTitle();
    // Starts the current title from the beginning.
    void play();
    void stop();
    // Returns false, changing nothing, for a volume outside 0..kMaxVolume.
    bool setVolume(int volume);

    // Applies the time passed: every title that has run out moves on to the next one
    // (titleChanged), and past the last title playback stops (playbackStopped).
    void sync();

signals:
    void creditChanged();
    void titleChanged();
    void playbackStopped();

private:
    void startTitle(int index);
    qint64 elapsedMs() const;

    Clock m_clock;
    QString m_version = QStringLiteral("7.1.0");
    QString m_type = QStringLiteral("Demo");
    QList<Song> m_songs;
    int m_index = 0;
    int m_credit = 3;
    int m_volume = 50;
    bool m_playing = true;
    // Clock reading at which the current title was at position 0.
    qint64 m_startedAt = 0;
};
