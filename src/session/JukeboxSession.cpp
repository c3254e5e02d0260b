#include "session/JukeboxSession.h"

#include "link/JukeboxLink.h"
#include "link/Messages.h"
#include "session/SnapshotReadings.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <algorithm>
#include <utility>

Q_LOGGING_CATEGORY(lcSession, "kurvan.session", QtWarningMsg)

bool commandAllowed(Command command, const JukeboxSnapshot &snapshot)
{
    return snapshot.connected && isAllowed(command, snapshot.playing, snapshot.credits);
}

JukeboxSession::JukeboxSession(QObject *parent) : QObject(parent), m_poll(this)
{
    m_poll.setInterval(kPollInterval);
    connect(&m_poll, &QTimer::timeout, this, &JukeboxSession::poll);
}

JukeboxSession::~JukeboxSession()
{
    if (m_link)
        m_link->disconnect(this);
}

SessionResult JukeboxSession::open(const ServerLogin &login)
{
    close();
    m_link = new JukeboxLink(this);
    if (m_queryTimeout > 0)
        m_link->setQueryTimeout(m_queryTimeout);
    m_login = Login::Waiting;
    m_tcpUp = false;
    m_tcpRefused = false;
    connect(m_link, &JukeboxLink::connectFailed, this, [this] {
        m_tcpRefused = true;
        wake();
    });
    connect(m_link, &JukeboxLink::connected, this, [this, password = login.ServerPassword] {
        m_tcpUp = true;
        m_link->SendCommand(Msg::PasswordPrefix + password);
        wake();
    });
    connect(m_link, &JukeboxLink::passwordAccepted, this, [this] {
        if (m_login == Login::Waiting)
            m_login = Login::Accepted;
        wake();
    });
    connect(m_link, &JukeboxLink::passwordRefused, this, [this] {
        if (m_login == Login::Waiting)
            m_login = Login::Refused;
        wake();
    });
    connect(m_link, &JukeboxLink::closed, this, &JukeboxSession::onLinkClosed);
    connect(m_link, &JukeboxLink::notice, this, &JukeboxSession::onNotice);

    JukeboxLink *const link = m_link;
    link->connectToJukebox(login.ServerAddress, login.ServerPort);
    // A refused or unreachable address ends the wait at once; only silence takes the full time.
    if (!waitUntil([this] { return m_tcpUp || m_tcpRefused; }, kConnectTimeout) || !m_tcpUp) {
        qCDebug(lcSession) << (m_tcpRefused ? "connection refused" : "no connection within 5 s");
        // Told apart, because "nobody there" is known at once, while silence took the full time.
        const SessionResult failed = m_tcpRefused ? SessionResult::NobodyListening : SessionResult::Unreachable;
        close();
        return failed;
    }
    // The login answer has the time a query has: a jukebox that takes the connection but never
    // answers the password is as unreachable as one that does not take it.
    waitUntil([&] { return m_login != Login::Waiting || !link->isConnected(); },
              m_queryTimeout > 0 ? m_queryTimeout : JukeboxLink::kQueryTimeout);
    const Login outcome = m_login;
    const bool stands = link->isConnected();
    if (outcome == Login::Accepted && stands) {
        m_loggedIn = true;
        m_snapshot = JukeboxSnapshot{};
        m_snapshot.connected = true;
        if (m_following)
            m_poll.start();
        return SessionResult::Done;
    }
    close();
    if (outcome == Login::Refused)
        return SessionResult::PasswordRefused;
    return stands ? SessionResult::Unreachable : SessionResult::LinkLost;
}

void JukeboxSession::close()
{
    m_poll.stop();
    m_loggedIn = false;
    if (m_link) {
        // Quietly: a close asked for is no lost link.
        m_link->disconnect(this);
        m_link->abort();
        m_link->deleteLater();
        m_link = nullptr;
    }
    m_snapshot.connected = false;
    wake();
}

bool JukeboxSession::isOpen() const
{
    return m_loggedIn && m_link && m_link->isConnected();
}

bool JukeboxSession::isBusy() const
{
    return m_waitLoop || (m_link && m_link->isWaiting());
}

const JukeboxSnapshot &JukeboxSession::snapshot() const
{
    return m_snapshot;
}

std::optional<QString> JukeboxSession::ask(const QString &name)
{
    if (!isOpen())
        return std::nullopt;
    const QueryResult result = m_link->query(name);
    if (result.outcome == QueryOutcome::Answered)
        return result.value;
    ++m_missed;
    return std::nullopt;
}

void JukeboxSession::readSong(JukeboxSnapshot &next)
{
    if (const std::optional<QString> path = ask(Msg::CurrentSong)) {
        next.path = *path;
        next.title = displayTitle(*path);
    }
}

void JukeboxSession::clearSong(JukeboxSnapshot &next)
{
    // As refresh() reads a jukebox that does not play: no title, nothing to measure.
    next.title.reset();
    next.path.reset();
    next.length.reset();
    next.position.reset();
}

void JukeboxSession::readLength(JukeboxSnapshot &next)
{
    if (const std::optional<QString> length = ask(Msg::SongLength))
        next.length = lengthValue(*length);
}

const JukeboxSnapshot &JukeboxSession::refresh()
{
    m_missed = 0;
    if (!isOpen())
        return m_snapshot;
    // The login's order: version, type, credits, play status and, only while a title plays,
    // its length, path and position; then the volume, as the first poll would.
    JukeboxSnapshot next;
    next.version = ask(Msg::Version);
    next.type = ask(Msg::Type);
    if (const std::optional<QString> credit = ask(Msg::Credit))
        next.credits = creditReading(*credit);
    if (const std::optional<QString> status = ask(Msg::PlayStatus))
        next.playing = *status == Msg::Playing;
    if (next.playing.value_or(false)) {
        readLength(next);
        readSong(next);
        if (const std::optional<QString> position = ask(Msg::SongPos))
            next.position = positionValue(*position);
    }
    if (const std::optional<QString> volume = ask(Msg::Volume))
        next.volume = volumeValue(*volume);
    publish(next);
    return m_snapshot;
}

SessionResult JukeboxSession::send(Command command)
{
    if (!isOpen())
        return SessionResult::LinkLost;
    if (!commandAllowed(command, m_snapshot))
        return SessionResult::Forbidden;
    qCDebug(lcSession) << "send" << *rowOf(command).wire;
    return m_link->SendCommand(*rowOf(command).wire) ? SessionResult::Done : SessionResult::LinkLost;
}

SessionResult JukeboxSession::sendAndConfirm(Command command)
{
    const VocabularyRow &row = rowOf(command);
    const int noticesBefore = row.notice ? noticesOf(*row.notice) : 0;
    const std::optional<int> creditsBefore = m_snapshot.credits;
    const SessionResult sent = send(command);
    if (sent != SessionResult::Done)
        return sent;

    switch (row.confirmation) {
    case Confirmation::Notice:
        return confirmNotice(*row.notice, noticesBefore);
    case Confirmation::CreditCount:
        return confirmCredit(*row.notice, creditsBefore, noticesBefore);
    case Confirmation::LinkCloses:
        waitUntil([this] { return !isOpen(); }, m_confirmTimeout);
        return isOpen() ? SessionResult::NotConfirmed : SessionResult::Done;
    case Confirmation::Nothing:
        return SessionResult::Done;
    }
    return SessionResult::NotConfirmed;
}

SessionResult JukeboxSession::confirmNotice(Incoming notice, int noticesBefore)
{
    waitUntil([&] { return noticesOf(notice) != noticesBefore || !isOpen(); }, m_confirmTimeout);
    if (noticesOf(notice) != noticesBefore)
        return SessionResult::Done;
    return isOpen() ? SessionResult::NotConfirmed : SessionResult::LinkLost;
}

SessionResult JukeboxSession::confirmCredit(Incoming notice, std::optional<int> before, int noticesBefore)
{
    // The notice confirms; where it does not come, a count that differs from the one before
    // does, read at the poll's rhythm within the same limit.
    const QDeadlineTimer deadline(m_confirmTimeout);
    while (true) {
        const int slice = static_cast<int>(std::min<qint64>(deadline.remainingTime(), kPollInterval));
        waitUntil([&] { return noticesOf(notice) != noticesBefore || !isOpen(); }, slice);
        if (noticesOf(notice) != noticesBefore)
            return SessionResult::Done;
        if (!isOpen())
            return SessionResult::LinkLost;
        const std::optional<QString> answer = ask(Msg::Credit);
        const std::optional<int> now = answer ? creditReading(*answer) : std::nullopt;
        if (now && before && *now != *before) {
            JukeboxSnapshot next = m_snapshot;
            next.credits = now;
            publish(next);
            return SessionResult::Done;
        }
        if (!isOpen())
            return SessionResult::LinkLost;
        if (deadline.hasExpired())
            return SessionResult::NotConfirmed;
    }
}

void JukeboxSession::readVolume()
{
    JukeboxSnapshot next = m_snapshot;
    if (const std::optional<QString> answer = ask(Msg::Volume))
        next.volume = volumeValue(*answer);
    publish(next);
}

SessionResult JukeboxSession::setVolume(int volume)
{
    volume = std::clamp(volume, 0, 100);
    if (!isOpen())
        return SessionResult::LinkLost;
    if (!m_snapshot.volume)
        readVolume();
    if (m_snapshot.volume == volume)
        return SessionResult::Done;
    if (!m_link->SendCommand(Msg::SetVolumePrefix + QString::number(volume)))
        return SessionResult::LinkLost;

    // The jukebox sends no notice for the volume: read it back until it shows the new value.
    const QDeadlineTimer deadline(m_confirmTimeout);
    while (isOpen()) {
        readVolume();
        if (m_snapshot.volume == volume)
            return SessionResult::Done;
        if (deadline.hasExpired())
            return SessionResult::NotConfirmed;
        waitUntil([this] { return !isOpen(); }, kVolumeReadBack);
    }
    return SessionResult::LinkLost;
}

void JukeboxSession::setFollowing(bool on)
{
    m_following = on;
    if (on && isOpen())
        m_poll.start();
    else
        m_poll.stop();
}

void JukeboxSession::poll()
{
    // A tick inside a wait of our own would take the query slot from the query that waits.
    if (m_polling || !isOpen() || m_link->isWaiting())
        return;
    m_polling = true;
    JukeboxSnapshot next = m_snapshot;
    if (const std::optional<QString> volume = ask(Msg::Volume))
        next.volume = volumeValue(*volume);
    if (const std::optional<QString> status = ask(Msg::PlayStatus)) {
        const bool wasPlaying = next.playing.value_or(false);
        next.playing = *status == Msg::Playing;
        // A title that started while nothing played came without a notice we saw.
        if (*next.playing && (!wasPlaying || !next.path)) {
            readSong(next);
            readLength(next);
        } else if (!*next.playing) {
            clearSong(next);
        }
    }
    if (next.playing.value_or(false)) {
        const std::optional<QString> answer = ask(Msg::SongPos);
        const std::optional<double> position = answer ? positionValue(*answer) : std::nullopt;
        // At or past the end of the length we know, the title has changed under us.
        if (position && (!next.length || *position >= *next.length))
            readLength(next);
        if (position)
            next.position = position;
    }
    m_polling = false;
    if (isOpen())
        publish(next);
}

void JukeboxSession::onNotice(Incoming kind)
{
    if (!isOpen())
        return;
    JukeboxSnapshot next = m_snapshot;
    switch (kind) {
    case Incoming::ChangeTitle:
        next.playing = true;
        next.position = 0.0;
        next.length.reset();
        readSong(next);
        readLength(next);
        break;
    case Incoming::ChangeCredit:
        if (const std::optional<QString> credit = ask(Msg::Credit))
            next.credits = creditReading(*credit);
        break;
    case Incoming::PlayStatusStop:
        next.playing = false;
        clearSong(next);
        break;
    case Incoming::PasswordOK:
    case Incoming::PasswordWrong:
        return;
    }
    ++m_notices.at(static_cast<size_t>(kind));
    if (isOpen())
        publish(next);
    emit noticeHandled(kind);
    wake();
}

void JukeboxSession::onLinkClosed()
{
    const bool wasLoggedIn = m_loggedIn;
    m_loggedIn = false;
    m_poll.stop();
    wake();
    if (!wasLoggedIn)
        return;
    qCDebug(lcSession) << "link lost";
    m_snapshot.connected = false;
    emit snapshotChanged(m_snapshot);
    emit linkLost();
}

void JukeboxSession::publish(JukeboxSnapshot next)
{
    next.connected = isOpen();
    if (next == m_snapshot)
        return;
    m_snapshot = std::move(next);
    emit snapshotChanged(m_snapshot);
}

bool JukeboxSession::waitUntil(const std::function<bool()> &done, int ms)
{
    const QDeadlineTimer deadline(ms, Qt::PreciseTimer);
    while (!done()) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return false;
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(static_cast<int>(left));
        QEventLoop *const outer = std::exchange(m_waitLoop, &loop);
        loop.exec();
        m_waitLoop = outer;
        // What ended this wait may also end the one around it: let that one look again.
        if (outer)
            outer->quit();
    }
    return true;
}

void JukeboxSession::wake()
{
    if (m_waitLoop)
        m_waitLoop->quit();
}
