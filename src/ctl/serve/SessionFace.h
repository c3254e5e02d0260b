#pragma once

#include "RemoteFace.h"
#include "common/ServerLogin.h"
#include "session/JukeboxSession.h"

#include <QTimer>

#include <array>

// The web remote's one connection to the jukebox: a session that logs in, follows the
// jukebox's notices and polls it, and that tries again after 1, 2, 4 ... up to 60 s whenever
// it cannot connect or loses the link. Owns its session.
class SessionFace : public RemoteFace
{
    Q_OBJECT

public:
    explicit SessionFace(const ServerLogin &login, QObject *parent = nullptr);

    // The first attempt, at once.
    void start();

    JukeboxSnapshot snapshot() const override { return m_session.snapshot(); }
    LinkStatus linkStatus() const override;
    bool allows(const RequestRules::RemoteAction &action) const override;
    SessionResult perform(const RequestRules::RemoteAction &action) override;

    // Test seam: how long a credit click waits for its confirmation (kConfirmTimeout).
    void setConfirmTimeout(int ms);

    // Actions beyond this many waiting are refused as busy.
    static constexpr int kMaxQueued = 32;

private:
    // Frees the held actions that confirmed() says the jukebox has confirmed; true when one was.
    bool endHolds(bool (*confirmed)(const VocabularyRow &row, Incoming notice), Incoming notice = {});

    void attempt();
    void scheduleRetry(SessionResult why);
    void drain();

    // Actions that wait for the jukebox (the volume, read back until it shows) or that arrive
    // while the session waits for an answer run from here, outside the HTTP request: the session
    // asks one thing at a time, and a request must not hold the server in a nested wait.
    static constexpr int kDrainMs = 20;
    QList<RequestRules::RemoteAction> m_queue;
    QTimer m_drain;

    ServerLogin m_login;
    JukeboxSession m_session;
    QTimer m_retry;
    LinkStatus m_status;
    bool m_opening = false;
    // A command held until confirmed (heldUntilConfirmed()) holds its action from its request
    // until the jukebox confirms it, at most Vocabulary::kConfirmTimeout: as the panel's button.
    std::array<QTimer, kCommandCount> m_holds;
    std::optional<int> m_creditsAtClick;
};
