#include "Kurvan.h"

#include "FieldHelpers.h"
#include "FitLabel.h"
#include "JukeboxLink.h"
#include "Messages.h"
#include "NumberReadings.h"
#include "StandInFonts.h"
#include "Texts.h"
#include "Twips.h"
#include "VolumeBar.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <cmath>
#include <exception>
#include <limits>

Q_LOGGING_CATEGORY(lcPanel, "kurvan.panel", QtWarningMsg)

namespace {

// Resolution of the drawn progress bar; the song's own figures stay single-precision floats.
constexpr int kProgressSteps = 1000;

// A step that fails (a value the jukebox sent that a control refuses, a length that does not
// convert) is skipped, and the handler goes on with the next one.
template <typename Step> void tryStep(Step &&step)
{
    try {
        step();
    } catch (const std::exception &e) {
        qCDebug(lcPanel) << "step skipped:" << e.what();
    }
}

bool timedOut(const QString &value)
{
    return value == Msg::TimeOut;
}

QPushButton *makeButton(QWidget *parent, const char *name, const QString &text, const QRect &box, const QFont &font)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(box);
    // Captions never change, so fitting them once is enough.
    button->setFont(fitToWidth(font, text, box.width() - 8));
    button->setAutoDefault(false);
    button->setEnabled(false);
    return button;
}

FitLabel *makeLabel(QWidget *parent, const char *name, const QString &text, const QRect &box, const QFont &font,
                    Qt::Alignment horizontal)
{
    auto *label = new FitLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(box);
    label->setFont(font);
    label->setAlignment(horizontal | Qt::AlignTop);
    label->setContentsMargins(0, 0, 0, 0);
    label->setAccessibleName(text);
    return label;
}

void setTextColour(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Active, QPalette::WindowText, colour);
    palette.setColor(QPalette::Inactive, QPalette::WindowText, colour);
    widget->setPalette(palette);
}

} // namespace

Kurvan::Kurvan(const ServerLogin &login, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_login(login), m_link(new JukeboxLink(this))
{
    setObjectName(QStringLiteral("Kurvan"));
    setWindowTitle(PanelText::WindowTitle);
    buildControls();

    m_link->setStatusTimer(tmrCheckStatus);
    connect(m_link, &JukeboxLink::connected, this, &Kurvan::Winsock1_Connect);
    connect(m_link, &JukeboxLink::closed, this, &Kurvan::Winsock1_Close);
    connect(m_link, &JukeboxLink::passwordAccepted, this, &Kurvan::LoadServerInfo);
    connect(m_link, &JukeboxLink::passwordRefused, this, &Kurvan::onPasswordRefused);
    connect(m_link, &JukeboxLink::changeTitle, this, &Kurvan::onChangeTitle);
    connect(m_link, &JukeboxLink::changeCredit, this, &Kurvan::onChangeCredit);
    connect(m_link, &JukeboxLink::playStatusStop, this, &Kurvan::onPlayStatusStop);

    // Loading the panel starts the connection; the panel shows itself once it stands.
    m_link->connectToJukebox(m_login.ServerAddress, m_login.ServerPort);
    Stopped = 1;
}

Kurvan::~Kurvan()
{
    // Nothing of the panel may run while it is being taken apart.
    m_link->disconnect(this);
}

void Kurvan::buildControls()
{
    setFixedSize(twips(0, 0, 6180, 5355).size());
    QPalette background = palette();
    background.setColor(QPalette::Window, Qt::white);
    setPalette(background);
    setAutoFillBackground(true);

    const QFont arial14 = StandIn::arial(14.25);
    const QFont arial9 = StandIn::arial(9.75);
    const QFont symbols = StandIn::symbols(24);

    Label1 = makeLabel(this, "Label1", PanelText::Title, twips(600, 120, 4935, 435),
                       StandIn::franklinGothicMedium(15.75, true), Qt::AlignHCenter);
    setTextColour(Label1, QColor(0, 0, 255));
    Label5 = makeLabel(this, "Label5", PanelText::Credits, twips(1440, 960, 945, 360), arial14, Qt::AlignLeft);
    cmdCreditMinus = makeButton(this, "cmdCreditMinus", PanelText::Minus, twips(2520, 915, 615, 495), arial14);
    lblCredits = makeLabel(this, "lblCredits", QString(), twips(3360, 960, 570, 360), StandIn::msSansSerif(13.5),
                           Qt::AlignHCenter);
    cmdCreditPlus = makeButton(this, "cmdCreditPlus", PanelText::Plus, twips(4080, 915, 615, 495), arial14);
    Label3 = makeLabel(this, "Label3", PanelText::Volume, twips(120, 1560, 1335, 360), arial14, Qt::AlignLeft);

    scrVol = new VolumeBar(this);
    scrVol->setObjectName(QStringLiteral("scrVol"));
    scrVol->setGeometry(twips(1560, 1515, 4455, 495));
    scrVol->setRange(0, 100);
    scrVol->setSingleStep(1);
    scrVol->setPageStep(20);
    scrVol->setFocusPolicy(Qt::StrongFocus); // arrows and Page Up/Down reach it from the keyboard
    scrVol->setEnabled(false);

    Label4 = makeLabel(this, "Label4", PanelText::CurrentTitle, twips(2160, 2400, 1785, 330), arial14, Qt::AlignLeft);
    lblCurrentSong =
        makeLabel(this, "lblCurrentSong", PanelText::NoSong, twips(120, 2880, 5850, 360), arial14, Qt::AlignHCenter);
    setTextColour(lblCurrentSong, QColor(0, 128, 0));

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(twips(120, 3360, 5895, 495));
    ProgressBar1->setRange(0, kProgressSteps);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setEnabled(false);

    cmdEnd = makeButton(this, "cmdEnd", PanelText::QuitJukebox, twips(120, 4200, 2055, 615), arial14);
    cmdStop = makeButton(this, "cmdStop", PanelText::StopSymbol, twips(2280, 4200, 855, 615), symbols);
    cmdPrevTitle = makeButton(this, "cmdPrevTitle", PanelText::PrevSymbol, twips(3240, 4200, 1335, 615), symbols);
    cmdNextTitle = makeButton(this, "cmdNextTitle", PanelText::NextSymbol, twips(4680, 4200, 1335, 615), symbols);
    const std::pair<QPushButton *, QString> transport[] = {
        {cmdStop, PanelText::StopName}, {cmdPrevTitle, PanelText::PrevName}, {cmdNextTitle, PanelText::NextName}};
    for (const auto &[button, name] : transport) {
        button->setAccessibleName(name);
        button->setToolTip(name);
    }
    cmdCreditMinus->setAccessibleName(QStringLiteral("Credit entfernen"));
    cmdCreditPlus->setAccessibleName(QStringLiteral("Credit hinzuf\u00FCgen"));
    scrVol->setAccessibleName(PanelText::Volume.chopped(1));
    ProgressBar1->setAccessibleName(QStringLiteral("Fortschritt des Titels"));

    Label2 = makeLabel(this, "Label2", PanelText::VersionLabel, twips(0, 5040, 2220, 240), arial9, Qt::AlignLeft);
    lblVersion =
        makeLabel(this, "lblVersion", PanelText::VersionAtStart, twips(2280, 5040, 645, 270), arial9, Qt::AlignLeft);
    lblStatus =
        makeLabel(this, "lblStatus", PanelText::NoConnection, twips(3000, 5040, 3165, 315), arial9, Qt::AlignRight);

    QWidget *const order[] = {scrVol, cmdCreditPlus, cmdCreditMinus, cmdNextTitle, cmdPrevTitle, cmdStop, cmdEnd};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    tmrCheckStatus = new QTimer(this);
    tmrCheckStatus->setObjectName(QStringLiteral("tmrCheckStatus"));
    tmrCheckStatus->setInterval(kPollInterval);
    tmrCheckStatus->setTimerType(Qt::PreciseTimer);
    tmrVolume = new QTimer(this);
    tmrVolume->setObjectName(QStringLiteral("tmrVolume"));
    tmrVolume->setInterval(kVolumeRest);
    tmrVolume->setTimerType(Qt::PreciseTimer);

    connect(tmrCheckStatus, &QTimer::timeout, this, &Kurvan::tmrCheckStatus_Timer);
    connect(tmrVolume, &QTimer::timeout, this, &Kurvan::tmrVolume_Timer);
    connect(scrVol, &QScrollBar::valueChanged, this, &Kurvan::scrVol_Change);
    connect(scrVol, &QScrollBar::sliderMoved, this, &Kurvan::scrVol_Change);

    // Each command button sends one fixed text. The credit buttons switch themselves off first,
    // so a second click cannot ask again before the jukebox has confirmed the first.
    connect(cmdCreditMinus, &QPushButton::clicked, this, [this] {
        cmdCreditMinus->setEnabled(false);
        m_link->SendCommand(Msg::RemoveCredit);
    });
    connect(cmdCreditPlus, &QPushButton::clicked, this, [this] {
        cmdCreditPlus->setEnabled(false);
        m_link->SendCommand(Msg::AddCredit);
    });
    connect(cmdEnd, &QPushButton::clicked, this, [this] { m_link->SendCommand(Msg::Quit); });
    connect(cmdNextTitle, &QPushButton::clicked, this, [this] { m_link->SendCommand(Msg::NextTitle); });
    connect(cmdPrevTitle, &QPushButton::clicked, this, [this] { m_link->SendCommand(Msg::PrevTitle); });
    connect(cmdStop, &QPushButton::clicked, this, [this] { m_link->SendCommand(Msg::Stop); });
}

void Kurvan::centreOnScreen()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void Kurvan::SetControlsEnabled(bool enabled)
{
    QWidget *const controls[] = {Label5,  cmdCreditMinus, lblCredits,     cmdCreditPlus, Label3,
                                 scrVol,  Label4,         lblCurrentSong, ProgressBar1,  cmdEnd,
                                 cmdStop, cmdPrevTitle,   cmdNextTitle};
    for (QWidget *control : controls)
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

void Kurvan::Winsock1_Connect()
{
    // The panel is shown before the dialog goes, so that there is never a moment without a
    // window (which would end the program).
    tryStep([this] {
        centreOnScreen();
        show();
        activateWindow(); // the keyboard moves on with the user from the dialog
    });
    tryStep([this] { emit connectionMade(); });
    tryStep([this] { lblStatus->setText(PanelText::AwaitingLogin); });
    tryStep([this] { m_link->SendCommand(Msg::PasswordPrefix + m_login.ServerPassword); });
}

void Kurvan::Winsock1_Close()
{
    tmrCheckStatus->stop();
    lblStatus->setText(PanelText::Disconnected);
    setProgressValue(0);
    // A panel that never showed a version longer than three characters keeps its controls.
    if (lblVersion->text().size() > 3)
        SetControlsEnabled(false);
}

void Kurvan::onPasswordRefused()
{
    lblStatus->setText(PanelText::LoginFailed);
}

void Kurvan::LoadServerInfo()
{
    SetControlsEnabled(true);
    lblStatus->setText(PanelText::Connected);
    lblVersion->setText(QString());

    const QString version = m_link->QueryValue(Msg::Version);
    if (!timedOut(version))
        lblVersion->setText(version);
    const QString type = m_link->QueryValue(Msg::Type);
    if (!timedOut(type))
        lblVersion->setText(lblVersion->text() + QStringLiteral(" (") + type + QStringLiteral(")"));

    const QString credit = m_link->QueryValue(Msg::Credit);
    if (!timedOut(credit)) {
        lblCredits->setText(credit);
        // A credit count that is not a number is shown, and leaves both buttons on.
        if (IsNumber(credit))
            showCredits(credit);
    }

    const QString status = m_link->QueryValue(Msg::PlayStatus);
    if (status == Msg::Playing) {
        Stopped = 0;
        const QString length = m_link->QueryValue(Msg::SongLength);
        if (LeadingNumberValue(length) > 0 && !timedOut(length))
            tryStep([&] { setProgressMaximum(FullConversion(length)); });
        const QString song = m_link->QueryValue(Msg::CurrentSong);
        if (!timedOut(song))
            setSongName(song);
        const QString position = m_link->QueryValue(Msg::SongPos);
        if (!timedOut(position)) {
            const auto at = static_cast<float>(LeadingNumberValue(position));
            if (at < m_progress.maximum())
                tryStep([&] { setProgressValue(at); });
        }
        setTransportEnabled(true);
    } else {
        setTransportEnabled(false);
    }
    tmrCheckStatus->start();
}

void Kurvan::onChangeTitle()
{
    // A length the bar refuses ends the handling at that step.
    tryStep([this] {
        Stopped = 0;
        const QString song = m_link->QueryValue(Msg::CurrentSong);
        if (!timedOut(song))
            setSongName(song);
        setProgressValue(0);
        const QString length = m_link->QueryValue(Msg::SongLength);
        const double lengthValue = LeadingNumberValue(length);
        if (lengthValue > 0 && !timedOut(length))
            setProgressMaximum(static_cast<float>(lengthValue));
        setTransportEnabled(true);
    });
}

void Kurvan::onChangeCredit()
{
    const QString credit = m_link->QueryValue(Msg::Credit);
    if (IsNumber(credit)) {
        showCredits(credit);
        lblCredits->setText(credit);
    }
}

void Kurvan::onPlayStatusStop()
{
    Stopped = 1;
    lblCurrentSong->setText(QString());
    setTransportEnabled(false);
    setProgressValue(0);
}

// --- status poll and volume ----------------------------------------------------------------

void Kurvan::tmrCheckStatus_Timer()
{
    // Each step stands alone: one that fails is abandoned and the next one runs.
    if (!tmrVolume->isActive())
        pollVolume();
    tryStep([this] { pollPlayStatus(); });
    if (Stopped == 0)
        tryStep([this] { pollSongPosition(); });
}

void Kurvan::pollVolume()
{
    const QString volume = m_link->QueryValue(Msg::Volume, QString::number(LastVolume));
    const double rounded = std::nearbyint(LeadingNumberValue(volume)); // halves to even
    // The bar refuses what it cannot show; a refused value leaves it as it was.
    if (rounded >= scrVol->minimum() && rounded <= scrVol->maximum())
        scrVol->setValue(static_cast<int>(rounded));
    LastVolume = static_cast<std::int16_t>(scrVol->value());
}

void Kurvan::pollPlayStatus()
{
    const QString status = m_link->QueryValue(Msg::PlayStatus);
    if (timedOut(status))
        return;
    Stopped = status == Msg::Playing ? 0 : 1;
    setTransportEnabled(Stopped == 0);
}

void Kurvan::pollSongPosition()
{
    const QString position = m_link->QueryValue(Msg::SongPos, QStringLiteral("0"));
    const auto at = static_cast<float>(LeadingNumberValue(position));
    if (at < m_progress.maximum()) {
        setProgressValue(at);
        return;
    }
    // The song has reached its known length: learn the new length; the next tick shows the
    // position against it.
    const QString length = m_link->QueryValue(Msg::SongLength);
    if (LeadingNumberValue(length) <= 0 || timedOut(length))
        return;
    setProgressMaximum(FullConversion(length));
}

void Kurvan::scrVol_Change()
{
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

// --- control helpers -----------------------------------------------------------------------

void Kurvan::showCredits(const QString &credit)
{
    cmdCreditMinus->setEnabled(LeadingNumberValue(credit) > 0);
    cmdCreditPlus->setEnabled(true);
}

void Kurvan::setTransportEnabled(bool enabled)
{
    cmdStop->setEnabled(enabled);
    cmdNextTitle->setEnabled(enabled);
    cmdPrevTitle->setEnabled(enabled);
}

void Kurvan::setSongName(const QString &path)
{
    lblCurrentSong->setText(FileNameFromPath(path, false).replace(u'_', u' '));
}

void Kurvan::setProgressMaximum(float maximum)
{
    m_progress.setMaximum(maximum);
    ProgressBar1->setValue(m_progress.displayed(kProgressSteps));
}

void Kurvan::setProgressValue(float value)
{
    m_progress.setValue(value);
    ProgressBar1->setValue(m_progress.displayed(kProgressSteps));
}
