#pragma once

#include "common/ServerLogin.h"
#include "common/SettingsLocation.h"
#include "panel/Kurvan.h"

#include <QDialog>
#include <QPointer>

class FitLabel;
class JukeboxLink;

class QLineEdit;
class QPushButton;
class QTimer;

// The first window: takes address, port and password, remembers address and port in the
// settings file, and loads a fresh panel for every attempt. The panel closes this dialog once
// its connection stands; if five seconds pass first, the attempt is given up and reported.
class ConnectionInput : public QDialog
{
    Q_OBJECT

public:
    // settings: where address and port are looked up and remembered.
    explicit ConnectionInput(const SettingsFiles &settings, QWidget *parent = nullptr);
    ~ConnectionInput() override;

    // The panel of the pending attempt, if any.
    Kurvan *panel() const { return m_panel; }
    const ServerLogin &login() const { return m_login; }
    // Test seam: a shorter time-out than Vocabulary::kConnectTimeout.
    void setConnectTimeout(int ms);

signals:
    // The attempt succeeded: panel is shown, stays for the rest of the program, and this dialog
    // closes.
    void panelShown(Kurvan *panel);

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildControls();
    void cmdConnect_Click();
    void tmrTimeOut_Timer();
    void handOver();
    void unloadPanel();

    QString remembered(const QString &key, const QString &defaultValue) const;

    SettingsFiles m_settings;
    ServerLogin m_login;
    // The pending attempt: its link, made here and handed to its panel, which owns it.
    QPointer<Kurvan> m_panel;
    QPointer<JukeboxLink> m_link;

    FitLabel *Label1;
    FitLabel *Label2;
    QLineEdit *txtServerIP;
    QLineEdit *txtServerPort;
    QPushButton *cmdConnect;
    FitLabel *Label3;
    QLineEdit *txtPassword;
    QTimer *tmrTimeOut;
};
