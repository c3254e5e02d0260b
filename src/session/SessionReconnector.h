#pragma once

#include "common/ServerLogin.h"
#include "session/JukeboxSession.h"

#include <QObject>
#include <QTimer>

// Opens a session again after its link is lost: after 1 s, then 2, 4, ... up to kMaxDelay
// between attempts, until one logs in. A refused password ends the attempts, since trying the
// same password again cannot help. Does not own the session.
class SessionReconnector : public QObject
{
    Q_OBJECT

public:
    static constexpr int kFirstDelay = 1000;
    static constexpr int kMaxDelay = 60000;

    SessionReconnector(JukeboxSession *session, const ServerLogin &login, QObject *parent = nullptr);

    // The wait before attempt number attempt (from 1): kFirstDelay doubled each time, at most
    // kMaxDelay. An attempt below 1 counts as the first.
    static int delayBefore(int attempt);

    // On: every linkLost() of the session starts the attempts. Off: stops a pending attempt.
    void setEnabled(bool on);
    bool isEnabled() const { return m_enabled; }
    // Starts the attempts now, as after a lost link (for a first open that failed).
    void startAttempts();

signals:
    // The next attempt comes in delayMs.
    void attemptScheduled(int attempt, int delayMs);
    // An attempt starts now.
    void attemptStarted(int attempt);
    // An attempt failed for this reason; another follows unless it was PasswordRefused.
    void attemptFailed(int attempt, SessionResult result);
    void reconnected();
    void gaveUp(SessionResult result);

private:
    void schedule();
    void attempt();

    JukeboxSession *m_session;
    ServerLogin m_login;
    QTimer m_timer;
    int m_attempt = 0;
    bool m_enabled = false;
};
