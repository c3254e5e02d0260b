#pragma once

#include "common/ServerLogin.h"
#include "link/IncomingRoute.h"
#include "panel/PanelControls.h"
#include "panel/PanelState.h"
#include "panel/SongProgress.h"

#include <QWidget>
#include <array>
#include <cstdint>
#include <optional>

class FitLabel;
class JukeboxLink;
class PanelFace;
class QProgressBar;
class QPushButton;
class QTimer;
class VolumeBar;

// The control panel. It takes over the link the connection dialog made for this attempt and
// starts connecting; it stays hidden until the connection stands, then logs in, shows the
// jukebox's state, keeps it current by polling and by the jukebox's notices, and sends the
// user's commands. Observers (the desktop's media interface) see it through its face().
// The names the original panel used and where they live now head panel/PanelControls.h.
class Kurvan : public QWidget
{
    Q_OBJECT

public:
    // link becomes the panel's own (it is deleted with the panel).
    Kurvan(JukeboxLink *link, const ServerLogin &login, QWidget *parent = nullptr);
    ~Kurvan() override;

    // Switches the controls of PanelControl::kRows with the role Switched on or off together;
    // title, version and status line stay readable.
    void SetControlsEnabled(bool enabled);

    std::int16_t lastVolume() const { return LastVolume; }
    int stopped() const { return Stopped; }
    const SongProgress &progress() const { return m_progress; }

    // What the panel shows and allows right now; the face carries it to observers.
    PanelState state() const;
    // What observers bind to: the state as last announced and the user's actions. The panel
    // owns it and carries out what it requests.
    PanelFace *face() const { return m_face; }

signals:
    // The connection stands and the panel is shown: the connection dialog may go, leaving this
    // panel and its connection in place.
    void connectionMade();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Resolution of the drawn progress bar; the song's own figures stay single-precision floats.
    static constexpr int kProgressSteps = 1000;

    void buildControls();
    QPushButton *makeCommandButton(const PanelControl::Row &row);

    // The link's events.
    void onConnected();
    void onLinkClosed();
    void LoadServerInfo();
    void onPasswordRefused();
    void onNotice(Incoming kind);
    void onChangeTitle();
    void onChangeCredit();
    void onPlayStatusStop();
    void onWaitStarted();
    void onWaitEnded();

    // The value of name as the handlers test it: the answer, or after the time-out the default
    // (or "TimeOut" without one). nullopt when the link is gone: the handler stops there and
    // changes nothing more, since a dead link has nothing to report.
    std::optional<QString> QueryValue(const QString &name, const QString &defaultValue = QString());

    void tmrCheckStatus_Timer();
    bool pollVolume();
    bool pollPlayStatus();
    void pollSongPosition();
    void scrVol_Change();
    void tmrVolume_Timer();
    void commandClicked(Command command, QPushButton *button);
    void stopConfirmWaits();

    // The face's requests: a click on the command's button, a move of the volume bar, each
    // only while that control is on; the window to the front.
    void performCommand(Command command);
    void moveVolume(int volume);
    void raiseWindow();

    void showCredits(const QString &credit);
    void setStopped(int stopped);
    void setTransportEnabled(bool enabled);
    void setSongName(const QString &path);
    bool setProgressMaximum(float maximum);
    void setProgressValue(float value);
    void announceState();

    ServerLogin m_login;
    JukeboxLink *m_link;
    PanelFace *m_face;
    SongProgress m_progress;

    // The panel's state fields.
    std::int16_t LastVolume = 0;
    int Stopped = 0;

    // The link is gone for good: nothing restarts the poll or trusts a value any more.
    bool m_linkLost = false;
    // Whether the poll ran when each wait (innermost last) began.
    QList<bool> m_pollPaused;
    // Counts the bar's moves that did not come from the poll, so that a poll whose question was
    // under way meanwhile leaves the user's move alone.
    quint32 m_volumeMoves = 0;
    bool m_pollSetsVolume = false;
    bool m_statePosted = false;

    FitLabel *Label1;
    FitLabel *Label5;
    FitLabel *lblCredits;
    FitLabel *Label3;
    VolumeBar *scrVol;
    FitLabel *Label4;
    FitLabel *lblCurrentSong;
    QProgressBar *ProgressBar1;
    // The command buttons (cmdCreditMinus, cmdCreditPlus, cmdEnd, cmdStop, cmdPrevTitle,
    // cmdNextTitle) by the command they send; null for a command the panel has no button for.
    std::array<QPushButton *, kCommandCount> m_commandButtons{};
    FitLabel *Label2;
    FitLabel *lblVersion;
    FitLabel *lblStatus;
    QTimer *tmrCheckStatus;
    QTimer *tmrVolume;
    // The controls by role, made from PanelControl::kRows.
    QList<QWidget *> m_switched;
    QList<QWidget *> m_transport;
    // A button with the role Confirmed, switched off by its click, comes back on with the
    // jukebox's confirmation, or when none has come within Vocabulary::kConfirmTimeout.
    QList<QTimer *> m_confirmWaits;
};
