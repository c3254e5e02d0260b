#pragma once

#include "common/ServerLogin.h"
#include "link/IncomingRoute.h"
#include "link/Vocabulary.h"
#include "session/JukeboxSnapshot.h"

#include <QObject>
#include <QTimer>
#include <array>
#include <functional>
#include <optional>

class JukeboxLink;

// The vocabulary's rule for command in the state snapshot shows (see isAllowed()); nothing
// without the link.
bool commandAllowed(Command command, const JukeboxSnapshot &snapshot);

// How an operation of the session ended; each maps to one exit code of kurvanctl.
enum class SessionResult
{
    Done,            // 0
    Forbidden,       // 1: the jukebox's state forbids it (not playing, no credit to remove)
    NotConfirmed,    // 1: no confirmation or answer came in time
    Unreachable,     // 3: no connection within kConnectTimeout
    NobodyListening, // 3: the attempt failed at once: refused, or no such address
    LinkLost,        // 3: the link was lost
    PasswordRefused  // 4
};

// A widget-free session with the jukebox: connects, logs in, reads values, sends commands and
// waits for their confirmations, and follows the jukebox's changes. It owns its link. Waits run
// the event loop (nested), never spin.
class JukeboxSession : public QObject
{
    Q_OBJECT

public:
    static constexpr int kConnectTimeout = Vocabulary::kConnectTimeout;
    static constexpr int kConfirmTimeout = Vocabulary::kConfirmTimeout;
    static constexpr int kPollInterval = Vocabulary::kPollInterval;
    // How often a volume that has been sent is read back while it is not yet the jukebox's.
    static constexpr int kVolumeReadBack = 500;

    explicit JukeboxSession(QObject *parent = nullptr);
    ~JukeboxSession() override;

    // Connects and logs in. Done, NobodyListening, Unreachable, PasswordRefused or LinkLost.
    SessionResult open(const ServerLogin &login);
    void close();
    bool isOpen() const;

    // Asks the jukebox for every value, one query after the other, and returns the new snapshot.
    const JukeboxSnapshot &refresh();
    const JukeboxSnapshot &snapshot() const;

    // Sends one command if the current snapshot allows it (commandAllowed()). Does not wait.
    SessionResult send(Command command);
    // send(), then waits up to kConfirmTimeout for the jukebox to confirm it as its row says:
    // its notice, for a credit also a changed "Credit" value, or the link closing.
    SessionResult sendAndConfirm(Command command);
    // One "SetVolume|N" (N clamped to 0..100), none when N is already the jukebox's volume.
    SessionResult setVolume(int volume);

    // On: polls every kPollInterval and follows the notices; snapshotChanged() on each change.
    void setFollowing(bool on);
    // Test seams: a poll interval, a confirmation limit and, from the next open(), a query
    // limit (the login's answer's too) of the test's choosing.
    void setPollInterval(int ms) { m_poll.setInterval(ms); }
    void setConfirmTimeout(int ms) { m_confirmTimeout = ms; }
    void setQueryTimeout(int ms) { m_queryTimeout = ms; }
    bool isFollowing() const { return m_following; }

    // How many values of the last refresh() came too late (timed out, or the link went down).
    int missedAnswers() const { return m_missed; }

    // True while an operation waits for the jukebox. The session asks one thing at a time: an
    // operation started meanwhile (from a timer or a request served inside the wait) takes the
    // query slot, and the one that waits may end without its answer. Callers that serve others
    // should queue their work until this is false.
    bool isBusy() const;

signals:
    void snapshotChanged(const JukeboxSnapshot &snapshot);
    // The link is gone; the snapshot reads connected = false.
    void linkLost();
    // The jukebox's notice of kind has been handled and its news published: it confirms the
    // commands that wait for it, whether or not the values it brought changed.
    void noticeHandled(Incoming kind);

private:
    enum class Login
    {
        Waiting,
        Accepted,
        Refused
    };

    void onNotice(Incoming kind);
    void onLinkClosed();
    void poll();
    // The value text of the jukebox's answer; nullopt when it timed out or the link is down.
    std::optional<QString> ask(const QString &name);
    // Asks for the volume alone and publishes the snapshot with it.
    void readVolume();
    void readSong(JukeboxSnapshot &next);
    void readLength(JukeboxSnapshot &next);
    void clearSong(JukeboxSnapshot &next);
    void publish(JukeboxSnapshot next);
    // Runs the event loop until done() holds or ms have passed; true when done() holds.
    bool waitUntil(const std::function<bool()> &done, int ms);
    void wake();
    int noticesOf(Incoming kind) const { return m_notices.at(static_cast<size_t>(kind)); }
    SessionResult confirmNotice(Incoming notice, int noticesBefore);
    SessionResult confirmCredit(Incoming notice, std::optional<int> before, int noticesBefore);

    JukeboxLink *m_link = nullptr;
    JukeboxSnapshot m_snapshot;
    QTimer m_poll;
    Login m_login = Login::Waiting;
    bool m_tcpUp = false;
    bool m_tcpRefused = false;
    bool m_loggedIn = false;
    bool m_following = false;
    bool m_polling = false;
    int m_missed = 0;
    int m_confirmTimeout = kConfirmTimeout;
    int m_queryTimeout = 0; // 0: the link's own
    // How many of each notice have been handled, for the waits of sendAndConfirm().
    std::array<int, IncomingQueue::kCapacity> m_notices{};
    class QEventLoop *m_waitLoop = nullptr;
};
