#pragma once

#include "ServerLogin.h"
#include "SongProgress.h"

#include <QWidget>
#include <cstdint>

class FitLabel;
class JukeboxLink;
class QProgressBar;
class QPushButton;
class VolumeBar;
class QTimer;

// The control panel. Creating it starts the connection to the jukebox; it stays hidden until
// the connection stands, then logs in, shows the jukebox's state, keeps it current by polling
// and by the jukebox's notices, and sends the user's commands.
class Kurvan : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kPollInterval = 2000;
    static constexpr int kVolumeRest = 500;

    explicit Kurvan(const ServerLogin &login, QWidget *parent = nullptr);
    ~Kurvan() override;

    // Switches the thirteen interactive controls on or off together; title, version and
    // status line stay readable.
    void SetControlsEnabled(bool enabled);

    JukeboxLink *link() const { return m_link; }
    std::int16_t lastVolume() const { return LastVolume; }
    int stopped() const { return Stopped; }
    const SongProgress &progress() const { return m_progress; }

signals:
    // The connection stands and the panel is shown: the connection dialog may go, leaving this
    // panel and its connection in place.
    void connectionMade();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void centreOnScreen();

    void Winsock1_Connect();
    void Winsock1_Close();
    void LoadServerInfo();
    void onPasswordRefused();
    void onChangeTitle();
    void onChangeCredit();
    void onPlayStatusStop();

    void tmrCheckStatus_Timer();
    void pollVolume();
    void pollPlayStatus();
    void pollSongPosition();
    void scrVol_Change();
    void tmrVolume_Timer();

    void showCredits(const QString &credit);
    void setTransportEnabled(bool enabled);
    void setSongName(const QString &path);
    void setProgressMaximum(float maximum);
    void setProgressValue(float value);

    ServerLogin m_login;
    JukeboxLink *m_link;
    SongProgress m_progress;

    // The panel's state fields.
    std::int16_t LastVolume = 0;
    int Stopped = 0;

    FitLabel *Label1;
    FitLabel *Label5;
    QPushButton *cmdCreditMinus;
    FitLabel *lblCredits;
    QPushButton *cmdCreditPlus;
    FitLabel *Label3;
    VolumeBar *scrVol;
    FitLabel *Label4;
    FitLabel *lblCurrentSong;
    QProgressBar *ProgressBar1;
    QPushButton *cmdEnd;
    QPushButton *cmdStop;
    QPushButton *cmdPrevTitle;
    QPushButton *cmdNextTitle;
    FitLabel *Label2;
    FitLabel *lblVersion;
    FitLabel *lblStatus;
    QTimer *tmrCheckStatus;
    QTimer *tmrVolume;
};
