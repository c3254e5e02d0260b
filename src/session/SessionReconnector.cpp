#include "session/SessionReconnector.h"

#include <algorithm>

SessionReconnector::SessionReconnector(JukeboxSession *session, const ServerLogin &login, QObject *parent)
    : QObject(parent), m_session(session), m_login(login), m_timer(this)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &SessionReconnector::attempt);
    connect(m_session, &JukeboxSession::linkLost, this, &SessionReconnector::startAttempts);
}

void SessionReconnector::startAttempts()
{
    if (!m_enabled || m_timer.isActive())
        return;
    m_attempt = 0;
    schedule();
}

int SessionReconnector::delayBefore(int attempt)
{
    int delay = kFirstDelay;
    for (int i = 1; i < attempt && delay < kMaxDelay; ++i)
        delay *= 2;
    return std::min(delay, kMaxDelay);
}

void SessionReconnector::setEnabled(bool on)
{
    m_enabled = on;
    if (!on)
        m_timer.stop();
}

void SessionReconnector::schedule()
{
    ++m_attempt;
    const int delay = delayBefore(m_attempt);
    emit attemptScheduled(m_attempt, delay);
    m_timer.start(delay);
}

void SessionReconnector::attempt()
{
    if (!m_enabled)
        return;
    emit attemptStarted(m_attempt);
    const SessionResult result = m_session->open(m_login);
    if (!m_enabled)
        return;
    if (result == SessionResult::Done) {
        m_attempt = 0;
        emit reconnected();
        return;
    }
    emit attemptFailed(m_attempt, result);
    if (result == SessionResult::PasswordRefused) {
        emit gaveUp(result);
        return;
    }
    schedule();
}
