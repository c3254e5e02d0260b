#include "app/ConnectionInput.h"

#include "app/Texts.h"
#include "common/IniFile.h"
#include "link/JukeboxLink.h"
#include "link/Vocabulary.h"
#include "panel/Kurvan.h"
#include "widgets/FitLabel.h"
#include "widgets/Placement.h"
#include "widgets/StandInFonts.h"
#include "widgets/Twips.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QProxyStyle>
#include <QPushButton>
#include <QTimer>
#include <utility>

namespace {

class PasswordStarStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return u'*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// The window's standard font, in which labels and the button are drawn.
QFont standardFont()
{
    return StandIn::msSansSerif(8.25);
}

FitLabel *makeLabel(QWidget *parent, const char *name, const QString &text, const QRect &box)
{
    auto *label = new FitLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(box);
    label->setFont(standardFont());
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setContentsMargins(0, 0, 0, 0);
    return label;
}

QLineEdit *makeBox(QWidget *parent, const char *name, const QRect &box, int maxLength, const QString &accessibleName)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(box);
    edit->setFont(StandIn::msSansSerif(9.75));
    if (maxLength > 0)
        edit->setMaxLength(maxLength);
    edit->setAccessibleName(accessibleName);
    return edit;
}

} // namespace

ConnectionInput::ConnectionInput(const SettingsFiles &settings, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_settings(settings)
{
    setObjectName(QStringLiteral("ConnectionInput"));
    setWindowTitle(DialogText::WindowTitle);
    buildControls();

    // Load: the boxes show what was used last, or the defaults.
    txtServerIP->setText(remembered(SettingsKey::Address, DialogText::DefaultAddress));
    txtServerPort->setText(remembered(SettingsKey::Port, DialogText::DefaultPort));
    txtServerIP->setFocus();

    centreOnScreen(this);
}

ConnectionInput::~ConnectionInput()
{
    unloadPanel();
}

QString ConnectionInput::remembered(const QString &key, const QString &defaultValue) const
{
    return rememberedSetting(m_settings, key, defaultValue);
}

void ConnectionInput::buildControls()
{
    setFixedSize(twips(0, 0, 2805, 1785).size());

    Label1 = makeLabel(this, "Label1", DialogText::AddressLabel, twips(120, 120, 1215, 195));
    Label2 = makeLabel(this, "Label2", DialogText::PortLabel, twips(1920, 120, 330, 195));
    txtServerIP = makeBox(this, "txtServerIP", twips(120, 360, 1695, 360), 15, QStringLiteral("IP-Adresse oder Host"));
    txtServerPort = makeBox(this, "txtServerPort", twips(1920, 360, 735, 360), 5, DialogText::PortLabel.chopped(1));

    cmdConnect = new QPushButton(DialogText::Connect, this);
    cmdConnect->setObjectName(QStringLiteral("cmdConnect"));
    cmdConnect->setGeometry(twips(1080, 1320, 1575, 375));
    cmdConnect->setFont(standardFont());
    cmdConnect->setDefault(true);

    Label3 = makeLabel(this, "Label3", DialogText::PasswordLabel, twips(120, 930, 690, 195));
    txtPassword = makeBox(this, "txtPassword", twips(840, 840, 1815, 360), 0, DialogText::PasswordLabel.chopped(1));
    txtPassword->setEchoMode(QLineEdit::Password);
    // Every typed character shows as "*", whatever the desktop style would draw.
    auto *stars = new PasswordStarStyle;
    stars->setParent(txtPassword);
    txtPassword->setStyle(stars);

    setTabOrder(txtServerIP, txtServerPort);
    setTabOrder(txtServerPort, cmdConnect);
    setTabOrder(cmdConnect, txtPassword);

    tmrTimeOut = new QTimer(this);
    tmrTimeOut->setObjectName(QStringLiteral("tmrTimeOut"));
    tmrTimeOut->setInterval(Vocabulary::kConnectTimeout);
    tmrTimeOut->setSingleShot(true);
    // Five seconds means five seconds: a coarse timer may fire up to 5 % early.
    tmrTimeOut->setTimerType(Qt::PreciseTimer);

    connect(cmdConnect, &QPushButton::clicked, this, &ConnectionInput::cmdConnect_Click);
    connect(tmrTimeOut, &QTimer::timeout, this, &ConnectionInput::tmrTimeOut_Timer);
}

void ConnectionInput::setConnectTimeout(int ms)
{
    tmrTimeOut->setInterval(ms);
}

void ConnectionInput::cmdConnect_Click()
{
    if (txtServerIP->text().isEmpty() || m_panel)
        return;
    cmdConnect->setEnabled(false);
    cmdConnect->setText(DialogText::Connecting);

    m_login.ServerPort = txtServerPort->text();
    m_login.ServerAddress = txtServerIP->text();
    m_login.ServerPassword = txtPassword->text();
    // Stored before the attempt, so even a failed attempt's values greet the next start.
    WriteIni(m_settings.write, SettingsKey::Section, SettingsKey::Address, m_login.ServerAddress);
    WriteIni(m_settings.write, SettingsKey::Section, SettingsKey::Port, m_login.ServerPort);

    tmrTimeOut->start();
    m_link = new JukeboxLink;
    m_panel = new Kurvan(m_link, m_login);
    connect(m_panel, &Kurvan::connectionMade, this, &ConnectionInput::handOver);
}

void ConnectionInput::tmrTimeOut_Timer()
{
    tmrTimeOut->stop();
    unloadPanel();

    QMessageBox box(QMessageBox::Information, DialogText::ApplicationTitle, DialogText::TimedOut, QMessageBox::Ok,
                    this);
    box.setObjectName(QStringLiteral("TimeOutMessage"));
    box.show();
    box.activateWindow(); // so Enter answers it even without a window manager
    box.exec();

    cmdConnect->setEnabled(true);
    cmdConnect->setText(DialogText::Connect);
    activateWindow();
}

void ConnectionInput::handOver()
{
    // The panel and its new connection stay; only the dialog goes. The panel lives until the
    // program ends.
    tmrTimeOut->stop();
    Kurvan *panel = m_panel;
    m_panel = nullptr;
    m_link = nullptr;
    panel->disconnect(this);
    connect(qApp, &QCoreApplication::aboutToQuit, panel, &QObject::deleteLater);
    emit panelShown(panel);
    close();
}

void ConnectionInput::unloadPanel()
{
    if (!m_panel)
        return;
    tmrTimeOut->stop();
    Kurvan *panel = m_panel;
    m_panel = nullptr;
    // The attempt ends at the link; the panel goes with it.
    if (m_link)
        m_link->abort();
    m_link = nullptr;
    delete panel;
}

void ConnectionInput::closeEvent(QCloseEvent *event)
{
    // A close by the user ends a pending attempt with its panel; nothing else is kept open.
    unloadPanel();
    event->accept();
}

void ConnectionInput::keyPressEvent(QKeyEvent *event)
{
    // Escape does not close this window; only the close box, the system menu and Alt+F4 do.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}
