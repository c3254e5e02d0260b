#include "panel/Kurvan.h"

#include "link/JukeboxLink.h"
#include "link/Messages.h"
#include "panel/Texts.h"
#include "panel/VolumeBar.h"
#include "widgets/FitLabel.h"
#include "widgets/StandInFonts.h"
#include "widgets/Twips.h"

#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <initializer_list>

// The window's controls as the user sees them: positions in twips, fonts, colours, start
// states, keyboard order, and which handler each control drives.

namespace {

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

QTimer *makeConfirmWait(QObject *parent, const char *name, QPushButton *button)
{
    auto *timer = new QTimer(parent);
    timer->setObjectName(QLatin1String(name));
    timer->setInterval(JukeboxLink::kQueryTimeout);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, button, [button] { button->setEnabled(true); });
    return timer;
}

} // namespace

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
    connect(scrVol, &QScrollBar::valueChanged, this, &Kurvan::announceState);
    connect(scrVol, &QScrollBar::sliderMoved, this, &Kurvan::scrVol_Change);

    // Each command button sends one fixed text. The credit buttons switch themselves off first,
    // so a second click cannot ask again before the jukebox has confirmed the first.
    tmrCreditPlusWait = makeConfirmWait(this, "tmrCreditPlusWait", cmdCreditPlus);
    tmrCreditMinusWait = makeConfirmWait(this, "tmrCreditMinusWait", cmdCreditMinus);
    connect(cmdCreditMinus, &QPushButton::clicked, this,
            [this] { creditClicked(cmdCreditMinus, tmrCreditMinusWait, Msg::RemoveCredit); });
    connect(cmdCreditPlus, &QPushButton::clicked, this,
            [this] { creditClicked(cmdCreditPlus, tmrCreditPlusWait, Msg::AddCredit); });
    connect(cmdEnd, &QPushButton::clicked, this, [this] { m_link->SendCommand(Msg::Quit); });
    connect(cmdNextTitle, &QPushButton::clicked, this, [this] { m_link->SendCommand(Msg::NextTitle); });
    connect(cmdPrevTitle, &QPushButton::clicked, this, [this] { m_link->SendCommand(Msg::PrevTitle); });
    connect(cmdStop, &QPushButton::clicked, this, [this] { m_link->SendCommand(Msg::Stop); });

    // Observers hear of every switch of the controls whose state they report.
    for (QWidget *watched :
         std::initializer_list<QWidget *>{cmdCreditPlus, cmdCreditMinus, cmdNextTitle, cmdPrevTitle, cmdStop, scrVol})
        watched->installEventFilter(this);
}
