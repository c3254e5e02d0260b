#include "SessionFace.h"

#include "session/SessionReconnector.h"

SessionFace::SessionFace(const ServerLogin &login, QObject *parent) : RemoteFace(parent), m_login(login)
{
    m_retry.setSingleShot(true);
    m_drain.setInterval(kDrainMs);
    connect(&m_drain, &QTimer::timeout, this, &SessionFace::drain);
    connect(&m_retry, &QTimer::timeout, this, &SessionFace::attempt);
    connect(&m_session, &JukeboxSession::snapshotChanged, this, &RemoteFace::changed);
    connect(&m_session, &JukeboxSession::linkLost, this, [this] {
        if (m_opening)
            return; // the running attempt reports its own outcome
        m_status.attempt = 0;
        m_queue.clear(); // asked of a link that is gone
        scheduleRetry(SessionResult::LinkLost);
    });
}

void SessionFace::start()
{
    m_status = {LinkStatus::Phase::Connecting, 0, 0};
    attempt();
}

LinkStatus SessionFace::linkStatus() const
{
    LinkStatus status = m_status;
    if (m_retry.isActive())
        status.retryInMs = m_retry.remainingTime();
    return status;
}

SessionResult SessionFace::perform(const RequestRules::RemoteAction &action)
{
    if (m_status.phase != LinkStatus::Phase::Connected || !m_session.isOpen())
        return SessionResult::LinkLost;
    if (action.command && !m_session.isBusy() && m_queue.isEmpty())
        return m_session.send(*action.command);
    if (m_queue.size() >= kMaxQueued)
        return SessionResult::NotConfirmed;
    m_queue.append(action);
    m_drain.start();
    return SessionResult::Done;
}

void SessionFace::drain()
{
    // A tick inside the session's own wait (this one's volume read-back included) waits too.
    if (m_session.isBusy())
        return;
    while (!m_queue.isEmpty() && !m_session.isBusy()) {
        const RequestRules::RemoteAction action = m_queue.takeFirst();
        if (!m_session.isOpen())
            continue; // the link went: what was asked no longer applies
        if (action.command)
            m_session.send(*action.command);
        else
            m_session.setVolume(action.volume);
    }
    if (m_queue.isEmpty())
        m_drain.stop();
}

void SessionFace::attempt()
{
    if (m_opening)
        return;
    m_status = {LinkStatus::Phase::Connecting, m_status.attempt + 1, 0};
    emit changed();
    // open() waits on the event loop; pages keep being served meanwhile.
    m_opening = true;
    const SessionResult result = m_session.open(m_login);
    if (result == SessionResult::Done)
        m_session.refresh();
    m_opening = false;
    if (result != SessionResult::Done || !m_session.isOpen()) {
        scheduleRetry(result);
        return;
    }
    m_status = {LinkStatus::Phase::Connected, 0, 0};
    m_session.setFollowing(true);
    emit changed();
}

void SessionFace::scheduleRetry(SessionResult why)
{
    const int delay = SessionReconnector::delayBefore(m_status.attempt + 1);
    const auto phase =
        why == SessionResult::PasswordRefused ? LinkStatus::Phase::PasswordRefused : LinkStatus::Phase::Waiting;
    m_status = {phase, m_status.attempt, delay};
    m_retry.start(delay);
    emit changed();
}
