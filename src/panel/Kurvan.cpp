#include "panel/Kurvan.h"

#include "common/FieldHelpers.h"
#include "link/JukeboxLink.h"
#include "link/Messages.h"
#include "panel/AnswerReadings.h"
#include "panel/PanelFace.h"
#include "panel/Texts.h"
#include "panel/VolumeBar.h"
#include "widgets/FitLabel.h"
#include "widgets/Placement.h"

#include <QCloseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

Kurvan::Kurvan(JukeboxLink *link, const ServerLogin &login, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_login(login), m_link(link), m_face(new PanelFace(this))
{
    setObjectName(QStringLiteral("Kurvan"));
    setWindowTitle(PanelText::WindowTitle);
    m_link->setParent(this);
    buildControls();

    connect(m_link, &JukeboxLink::connected, this, &Kurvan::onConnected);
    connect(m_link, &JukeboxLink::closed, this, &Kurvan::onLinkClosed);
    connect(m_link, &JukeboxLink::waitStarted, this, &Kurvan::onWaitStarted);
    connect(m_link, &JukeboxLink::waitEnded, this, &Kurvan::onWaitEnded);
    connect(m_link, &JukeboxLink::passwordAccepted, this, &Kurvan::LoadServerInfo);
    connect(m_link, &JukeboxLink::passwordRefused, this, &Kurvan::onPasswordRefused);
    connect(m_link, &JukeboxLink::notice, this, &Kurvan::onNotice);
    connect(m_face, &PanelFace::performRequested, this, &Kurvan::performCommand);
    connect(m_face, &PanelFace::volumeRequested, this, &Kurvan::moveVolume);
    connect(m_face, &PanelFace::raiseRequested, this, &Kurvan::raiseWindow);

    // Loading the panel starts the connection; the panel shows itself once it stands.
    m_link->connectToJukebox(m_login.ServerAddress, m_login.ServerPort);
    Stopped = 1;
    announceState();
}

Kurvan::~Kurvan()
{
    // Nothing of the panel may run while it is being taken apart.
    m_link->disconnect(this);
}

void Kurvan::SetControlsEnabled(bool enabled)
{
    for (QWidget *control : std::as_const(m_switched))
        control->setEnabled(enabled);
}

void Kurvan::closeEvent(QCloseEvent *event)
{
    // Closing the panel drops the connection; a query still waiting ends at once.
    tmrCheckStatus->stop();
    tmrVolume->stop();
    m_link->abort();
    event->accept();
}

// --- link events ---------------------------------------------------------------------------

void Kurvan::onConnected()
{
    // The panel is shown before the dialog goes, so that there is never a moment without a
    // window (which would end the program).
    centreOnScreen(this);
    show();
    activateWindow(); // the keyboard moves on with the user from the dialog
    emit connectionMade();
    lblStatus->setText(PanelText::AwaitingLogin);
    m_link->SendCommand(Msg::PasswordPrefix + m_login.ServerPassword);
}

void Kurvan::onLinkClosed()
{
    m_linkLost = true;
    tmrCheckStatus->stop();
    tmrVolume->stop();
    stopConfirmWaits();
    lblStatus->setText(PanelText::Disconnected);
    setProgressValue(0);
    // Whatever the version caption says: a panel without a link has nothing to control.
    SetControlsEnabled(false);
    announceState();
}

void Kurvan::onPasswordRefused()
{
    lblStatus->setText(PanelText::LoginFailed);
}

void Kurvan::onWaitStarted()
{
    m_pollPaused.append(tmrCheckStatus->isActive());
    tmrCheckStatus->stop();
}

void Kurvan::onWaitEnded()
{
    // Restarting also restarts the interval: the next poll comes a full interval after this.
    if (!m_pollPaused.isEmpty() && m_pollPaused.takeLast() && !m_linkLost)
        tmrCheckStatus->start();
}

std::optional<QString> Kurvan::QueryValue(const QString &name, const QString &defaultValue)
{
    const QueryResult result = m_link->query(name);
    switch (result.outcome) {
    case QueryOutcome::Answered:
        return result.value;
    case QueryOutcome::TimedOut:
        return defaultValue.isEmpty() ? Msg::TimeOut : defaultValue;
    case QueryOutcome::LinkDown:
        break;
    }
    return std::nullopt;
}

void Kurvan::LoadServerInfo()
{
    SetControlsEnabled(true);
    stopConfirmWaits();
    lblStatus->setText(PanelText::Connected);
    lblVersion->setText(QString());

    const std::optional<QString> version = QueryValue(Msg::Version);
    if (!version)
        return;
    if (*version != Msg::TimeOut)
        lblVersion->setText(*version);
    const std::optional<QString> type = QueryValue(Msg::Type);
    if (!type)
        return;
    if (*type != Msg::TimeOut)
        lblVersion->setText(lblVersion->text() + QStringLiteral(" (") + *type + QStringLiteral(")"));

    const std::optional<QString> credit = QueryValue(Msg::Credit);
    if (!credit)
        return;
    if (*credit != Msg::TimeOut) {
        lblCredits->setText(*credit);
        // A credit count that is not a number is shown, and leaves both buttons on.
        showCredits(*credit);
        announceState();
    }

    const std::optional<QString> status = QueryValue(Msg::PlayStatus);
    if (!status)
        return;
    if (*status == Msg::Playing) {
        setStopped(0);
        const std::optional<QString> length = QueryValue(Msg::SongLength);
        if (!length)
            return;
        // A length that does not convert as a whole is skipped; the login goes on.
        if (const std::optional<float> maximum = lengthReading(*length, true))
            setProgressMaximum(*maximum);
        const std::optional<QString> song = QueryValue(Msg::CurrentSong);
        if (!song)
            return;
        if (*song != Msg::TimeOut)
            setSongName(*song);
        const std::optional<QString> position = QueryValue(Msg::SongPos);
        if (!position)
            return;
        if (*position != Msg::TimeOut) {
            const float at = positionReading(*position);
            if (at < m_progress.maximum())
                setProgressValue(at);
        }
        setTransportEnabled(true);
    } else {
        setTransportEnabled(false);
    }
    tmrCheckStatus->start();
}

void Kurvan::onNotice(Incoming kind)
{
    // Each notice of kNotices and its handler.
    static constexpr std::pair<Incoming, void (Kurvan::*)()> kHandlers[] = {
        {Incoming::ChangeTitle, &Kurvan::onChangeTitle},
        {Incoming::ChangeCredit, &Kurvan::onChangeCredit},
        {Incoming::PlayStatusStop, &Kurvan::onPlayStatusStop},
    };
    static_assert(std::size(kHandlers) == std::size(kNotices), "one handler per notice");
    for (const auto &[handled, handler] : kHandlers) {
        if (handled == kind)
            return (this->*handler)();
    }
}

void Kurvan::onChangeTitle()
{
    setStopped(0);
    const std::optional<QString> song = QueryValue(Msg::CurrentSong);
    if (!song)
        return;
    if (*song != Msg::TimeOut)
        setSongName(*song);
    setProgressValue(0);
    const std::optional<QString> length = QueryValue(Msg::SongLength);
    if (!length)
        return;
    // A length the bar refuses ends the handling at that step.
    if (const std::optional<float> maximum = lengthReading(*length, false); maximum && !setProgressMaximum(*maximum))
        return;
    setTransportEnabled(true);
}

void Kurvan::onChangeCredit()
{
    const std::optional<QString> credit = QueryValue(Msg::Credit);
    if (!credit || !creditsAboveZero(*credit))
        return;
    showCredits(*credit);
    lblCredits->setText(*credit);
    announceState();
}

void Kurvan::onPlayStatusStop()
{
    setStopped(1);
    lblCurrentSong->setText(QString());
    setTransportEnabled(false);
    setProgressValue(0);
}

// --- status poll and volume ----------------------------------------------------------------

void Kurvan::tmrCheckStatus_Timer()
{
    // A lost link ends the poll at the step that found it, and for good: nothing after it is
    // asked.
    const bool linkUp = (tmrVolume->isActive() || pollVolume()) && pollPlayStatus();
    if (linkUp && Stopped == 0)
        pollSongPosition();
    if (m_linkLost)
        tmrCheckStatus->stop();
}

bool Kurvan::pollVolume()
{
    const quint32 movesBefore = m_volumeMoves;
    const std::optional<QString> volume = QueryValue(Msg::Volume, QString::number(LastVolume));
    if (!volume)
        return false;
    // The user moved the bar while the question was under way: the move stands, and goes out
    // after its rest as every move does. The next poll reads the jukebox again.
    if (m_volumeMoves != movesBefore || tmrVolume->isActive())
        return true;
    // The bar refuses what it cannot show; a refused value leaves it as it was.
    if (const std::optional<int> bar = volumeReading(*volume)) {
        m_pollSetsVolume = true;
        scrVol->setValue(*bar);
        m_pollSetsVolume = false;
    }
    LastVolume = static_cast<std::int16_t>(scrVol->value());
    return true;
}

bool Kurvan::pollPlayStatus()
{
    const std::optional<QString> status = QueryValue(Msg::PlayStatus);
    if (!status)
        return false;
    if (*status == Msg::TimeOut)
        return true;
    setStopped(*status == Msg::Playing ? 0 : 1);
    setTransportEnabled(Stopped == 0);
    return true;
}

void Kurvan::pollSongPosition()
{
    const std::optional<QString> position = QueryValue(Msg::SongPos, QStringLiteral("0"));
    if (!position)
        return;
    const float at = positionReading(*position);
    if (at < m_progress.maximum()) {
        setProgressValue(at); // a negative position is refused and leaves the bar alone
        return;
    }
    // The song has reached its known length: learn the new length; the next tick shows the
    // position against it.
    const std::optional<QString> length = QueryValue(Msg::SongLength);
    if (!length)
        return;
    if (const std::optional<float> maximum = lengthReading(*length, true))
        setProgressMaximum(*maximum);
}

void Kurvan::scrVol_Change()
{
    if (!m_pollSetsVolume)
        ++m_volumeMoves;
    // Every movement starts the rest anew; the volume goes out once the bar has rested.
    tmrVolume->start();
}

void Kurvan::tmrVolume_Timer()
{
    tmrVolume->stop();
    const int volume = scrVol->value();
    if (volume == LastVolume)
        return;
    LastVolume = static_cast<std::int16_t>(volume);
    m_link->SendCommand(Msg::SetVolumePrefix + QString::number(volume));
}

void Kurvan::commandClicked(Command command, QPushButton *button)
{
    const QString &wire = *rowOf(command).wire;
    if (!heldUntilConfirmed(command)) {
        m_link->SendCommand(wire);
        return;
    }
    // Off first, so that a second click cannot ask again before the jukebox has confirmed.
    button->setEnabled(false);
    if (m_link->SendCommand(wire))
        button->findChild<QTimer *>()->start();
}

void Kurvan::stopConfirmWaits()
{
    for (QTimer *wait : std::as_const(m_confirmWaits))
        wait->stop();
}

// --- control helpers -----------------------------------------------------------------------

void Kurvan::showCredits(const QString &credit)
{
    const std::optional<bool> above = creditsAboveZero(credit);
    if (!above)
        return;
    // The jukebox has confirmed the count: no click waits any more, and each held button is as
    // the rule says for it (which asks no more of the count than whether it is above 0).
    stopConfirmWaits();
    for (const PanelControl::Row &row : PanelControl::kRows) {
        if (PanelControl::has(row, PanelControl::Confirmed))
            m_commandButtons.at(static_cast<size_t>(*row.command))
                ->setEnabled(isAllowed(*row.command, std::nullopt, *above ? 1 : 0));
    }
}

void Kurvan::setStopped(int stopped)
{
    Stopped = stopped;
    announceState();
}

void Kurvan::setTransportEnabled(bool enabled)
{
    for (QWidget *control : std::as_const(m_transport))
        control->setEnabled(enabled);
}

void Kurvan::setSongName(const QString &path)
{
    lblCurrentSong->setText(FileNameFromPath(path, false).replace(u'_', u' '));
    announceState();
}

bool Kurvan::setProgressMaximum(float maximum)
{
    if (!m_progress.setMaximum(maximum))
        return false;
    ProgressBar1->setValue(m_progress.displayed(kProgressSteps));
    announceState();
    return true;
}

void Kurvan::setProgressValue(float value)
{
    if (!m_progress.setValue(value))
        return;
    ProgressBar1->setValue(m_progress.displayed(kProgressSteps));
    announceState();
}

// --- observers -----------------------------------------------------------------------------

PanelState Kurvan::state() const
{
    PanelState state;
    state.song = lblCurrentSong->text();
    // Without a link nothing is known to play.
    state.playing = Stopped == 0 && !m_linkLost;
    if (m_progress.lengthKnown())
        state.songLength = m_progress.maximum();
    state.songPosition = m_progress.value();
    state.volume = scrVol->value();
    state.credits = lblCredits->text();
    for (std::size_t i = 0; i < kCommandCount; ++i)
        state.allowed.at(i) = m_commandButtons.at(i) && m_commandButtons.at(i)->isEnabled();
    state.canSetVolume = scrVol->isEnabled();
    return state;
}

void Kurvan::performCommand(Command command)
{
    QPushButton *button = m_commandButtons.at(static_cast<size_t>(command));
    if (!button || !button->isEnabled())
        return;
    button->click();
    // At once, not on the next pass: the face answers the next request from what this click left.
    m_face->publish(state());
}

void Kurvan::raiseWindow()
{
    bringToFront(this);
}

void Kurvan::moveVolume(int volume)
{
    if (scrVol->isEnabled())
        scrVol->setValue(std::clamp(volume, scrVol->minimum(), scrVol->maximum()));
}

bool Kurvan::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::EnabledChange)
        announceState();
    return QWidget::eventFilter(watched, event);
}

void Kurvan::announceState()
{
    if (m_statePosted)
        return;
    m_statePosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_statePosted = false;
            m_face->publish(state());
        },
        Qt::QueuedConnection);
}
