#include "panel/Kurvan.h"

#include "link/Vocabulary.h"
#include "panel/Texts.h"
#include "panel/VolumeBar.h"
#include "widgets/FitLabel.h"
#include "widgets/StandInFonts.h"
#include "widgets/Twips.h"

#include <QMap>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

// The window's controls as the user sees them: positions in twips, fonts, colours, start
// states, and for the command buttons and the roles of each control, PanelControl::kRows.

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

// The wait of a button with the role Confirmed: "cmdCreditPlus" waits with "tmrCreditPlusWait".
QTimer *makeConfirmWait(QPushButton *button)
{
    auto *timer = new QTimer(button);
    timer->setObjectName(QStringLiteral("tmr") + button->objectName().mid(3) + QStringLiteral("Wait"));
    timer->setInterval(Vocabulary::kConfirmTimeout);
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
    lblCredits = makeLabel(this, "lblCredits", QString(), twips(3360, 960, 570, 360), StandIn::msSansSerif(13.5),
                           Qt::AlignHCenter);
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

    // The command buttons, each from its row of PanelControl::kRows.
    for (const PanelControl::Row &row : PanelControl::kRows) {
        if (!row.command)
            continue;
        QPushButton *button =
            makeButton(this, row.name, *row.caption, twips(row.box.x(), row.box.y(), row.box.width(), row.box.height()),
                       PanelControl::has(row, PanelControl::Transport) ? symbols : arial14);
        if (row.spokenName) {
            button->setAccessibleName(*row.spokenName);
            // The symbol buttons say in words what they do.
            if (PanelControl::has(row, PanelControl::Transport))
                button->setToolTip(*row.spokenName);
        }
        if (PanelControl::has(row, PanelControl::Confirmed))
            m_confirmWaits.append(makeConfirmWait(button));
        const Command command = *row.command;
        m_commandButtons.at(static_cast<size_t>(command)) = button;
        connect(button, &QPushButton::clicked, this, [this, command, button] { commandClicked(command, button); });
    }
    scrVol->setAccessibleName(PanelText::Volume.chopped(1));
    ProgressBar1->setAccessibleName(QStringLiteral("Fortschritt des Titels"));

    Label2 = makeLabel(this, "Label2", PanelText::VersionLabel, twips(0, 5040, 2220, 240), arial9, Qt::AlignLeft);
    lblVersion =
        makeLabel(this, "lblVersion", PanelText::VersionAtStart, twips(2280, 5040, 645, 270), arial9, Qt::AlignLeft);
    lblStatus =
        makeLabel(this, "lblStatus", PanelText::NoConnection, twips(3000, 5040, 3165, 315), arial9, Qt::AlignRight);

    // The roles of each row: switched together, the transport group, the keyboard order, and
    // observers hearing of every switch.
    QMap<int, QWidget *> order;
    for (const PanelControl::Row &row : PanelControl::kRows) {
        auto *control = findChild<QWidget *>(QLatin1String(row.name));
        Q_ASSERT(control);
        if (PanelControl::has(row, PanelControl::Switched))
            m_switched.append(control);
        if (PanelControl::has(row, PanelControl::Transport))
            m_transport.append(control);
        if (PanelControl::has(row, PanelControl::Observed))
            control->installEventFilter(this);
        if (row.tabPlace > 0)
            order.insert(row.tabPlace, control);
    }
    const QList<QWidget *> chain = order.values();
    for (qsizetype i = 1; i < chain.size(); ++i)
        setTabOrder(chain.at(i - 1), chain.at(i));

    tmrCheckStatus = new QTimer(this);
    tmrCheckStatus->setObjectName(QStringLiteral("tmrCheckStatus"));
    tmrCheckStatus->setInterval(Vocabulary::kPollInterval);
    tmrCheckStatus->setTimerType(Qt::PreciseTimer);
    tmrVolume = new QTimer(this);
    tmrVolume->setObjectName(QStringLiteral("tmrVolume"));
    tmrVolume->setInterval(Vocabulary::kVolumeRest);
    tmrVolume->setTimerType(Qt::PreciseTimer);

    connect(tmrCheckStatus, &QTimer::timeout, this, &Kurvan::tmrCheckStatus_Timer);
    connect(tmrVolume, &QTimer::timeout, this, &Kurvan::tmrVolume_Timer);
    connect(scrVol, &QScrollBar::valueChanged, this, &Kurvan::scrVol_Change);
    connect(scrVol, &QScrollBar::valueChanged, this, &Kurvan::announceState);
    connect(scrVol, &QScrollBar::sliderMoved, this, &Kurvan::scrVol_Change);
}
