#include "SessionFace.h"

#include "session/SessionReconnector.h"

SessionFace::SessionFace(const ServerLogin &login, QObject *parent) : RemoteFace(parent), m_login(login)
{
    m_retry.setSingleShot(true);
    m_drain.setInterval(kDrainMs);
    connect(&m_drain, &QTimer::timeout, this, &SessionFace::drain);
    connect(&m_retry, &QTimer::timeout, this, &SessionFace::attempt);
    for (QTimer &hold : m_holds) {
        hold.setSingleShot(true);
        hold.setInterval(Vocabulary::kConfirmTimeout);
        connect(&hold, &QTimer::timeout, this, &RemoteFace::changed);
    }
    connect(&m_session, &JukeboxSession::snapshotChanged, this, [this](const JukeboxSnapshot &now) {
        if (now.credits != m_creditsAtClick)
            endHolds([](const VocabularyRow &row, Incoming) { return row.confirmation == Confirmation::CreditCount; });
        emit changed();
    });
    connect(&m_session, &JukeboxSession::noticeHandled, this, [this](Incoming kind) {
        if (endHolds([](const VocabularyRow &row, Incoming notice) { return row.notice == notice; }, kind))
            emit changed();
    });
    connect(&m_session, &JukeboxSession::linkLost, this, [this] {
        endHolds([](const VocabularyRow &, Incoming) { return true; });
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

void SessionFace::setConfirmTimeout(int ms)
{
    for (QTimer &hold : m_holds)
        hold.setInterval(ms);
}

bool SessionFace::endHolds(bool (*confirmed)(const VocabularyRow &row, Incoming notice), Incoming notice)
{
    bool ended = false;
    for (const VocabularyRow &row : kCommands) {
        QTimer &hold = m_holds.at(static_cast<size_t>(row.command));
        if (hold.isActive() && confirmed(row, notice)) {
            hold.stop();
            ended = true;
        }
    }
    return ended;
}

bool SessionFace::allows(const RequestRules::RemoteAction &action) const
{
    if (m_status.phase != LinkStatus::Phase::Connected || !m_session.isOpen())
        return false;
    if (!action.command)
        return true;
    return !m_holds.at(static_cast<size_t>(*action.command)).isActive() &&
           commandAllowed(*action.command, m_session.snapshot());
}

SessionResult SessionFace::perform(const RequestRules::RemoteAction &action)
{
    if (m_status.phase != LinkStatus::Phase::Connected || !m_session.isOpen())
        return SessionResult::LinkLost;
    if (!allows(action))
        return SessionResult::Forbidden;
    QTimer *hold = action.command && heldUntilConfirmed(*action.command)
                       ? &m_holds.at(static_cast<size_t>(*action.command))
                       : nullptr;
    if (hold) {
        m_creditsAtClick = m_session.snapshot().credits;
        hold->start();
        emit changed();
    }
    if (action.command && !m_session.isBusy() && m_queue.isEmpty()) {
        const SessionResult sent = m_session.send(*action.command);
        if (sent != SessionResult::Done && hold) {
            // Nothing went out: nothing will confirm it.
            hold->stop();
            emit changed();
        }
        return sent;
    }
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
