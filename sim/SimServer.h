#pragma once

#include "FaultPlan.h"
#include "JukeboxModel.h"
#include "ProtocolLog.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

class QIODevice;
class QTcpServer;
class SimConnection;

// The stand-in jukebox on a TCP port: any number of clients at once, each with its own
// receive buffer and login, all sharing one JukeboxModel. This is the whole simulator; the
// program's main() only adds the command line around it.
//
// The conversation, per connection:
// - "Password=" + password is answered "PasswordOK" or "PasswordWrong"; a wrong password
//   leaves the connection open. Until a login succeeds every other text is ignored.
// - "Get" + name is answered name + "|" + value for the names of JukeboxModel::valueNames();
//   other names get no answer.
// - "AddCredit|N", "RemoveCredit|N", "CtrlNächsterTitel", "CtrlVorherigerTitel", "CtrlStop"
//   and "SetVolume|N" (0..100; anything else ignored) act on the model; the notices that
//   follow ("ChangeCredit", "ChangeTitle", "PlayStatusStop") go to every logged-in client,
//   as do the ones caused by a title running out.
// - "CtrlBeenden" closes every connection, stops listening and emits quitRequested().
// - Anything else is ignored.
//
// In-process use (tests, benchmarks):
//     SimServer sim;
//     sim.listen(QHostAddress::LocalHost);        // port 0: a free one, see port()
//     sim.model().setCredit(0);                   // silent setup of the jukebox's state
//     sim.faults().withheldValues = {Msg::Credit}; // misbehave from the next message on
//     QSignalSpy got(&sim, &SimServer::messageReceived);
// The log is silent unless a device is set.
class SimServer : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 kDefaultPort = 7620;
    static inline const QString kDefaultPassword = QStringLiteral("tonalis");

    explicit SimServer(QObject *parent = nullptr);
    ~SimServer() override;

    // Starts accepting clients; false (see errorString()) when the address or port is taken or
    // invalid. Port 0 picks a free port.
    bool listen(const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 0);
    quint16 port() const;
    QHostAddress address() const;
    QString errorString() const;
    // Closes every connection and stops listening. The model keeps its state.
    void close();

    void setPassword(const QString &password) { m_password = password; }
    QString password() const { return m_password; }
    // Where the protocol log goes; nullptr (the default) keeps it quiet.
    void setLogDevice(QIODevice *device) { m_log.setDevice(device); }

    JukeboxModel &model() { return m_model; }
    FaultPlan &faults() { return m_faults; }

    // Sends text as a notice to every logged-in client.
    void pushNotice(const QString &text);
    // Sends bytes as they are, outside any frame, to every client, logged in or not.
    void sendRaw(const QByteArray &bytes);

    // Every text received from any client, in arrival order, passwords included.
    QStringList received() const { return m_received; }
    void clearReceived() { m_received.clear(); }
    int clientCount() const { return static_cast<int>(m_connections.size()); }
    int loggedInCount() const;

signals:
    // After the text has been acted on, so the model already shows its effect.
    void messageReceived(const QString &text);
    void clientConnected();
    void clientDisconnected();
    // A client sent "CtrlBeenden"; every connection has been closed by then.
    void quitRequested();

private:
    void acceptClients();
    void handleMessage(SimConnection *connection, const QByteArray &bytes);
    void handleLogin(SimConnection *connection, const QString &text);
    void answerQuery(SimConnection *connection, const QString &name);
    void runCommand(const QString &text);
    void dropConnection(SimConnection *connection);
    void scheduleSongCheck();

    QTcpServer *m_server;
    JukeboxModel m_model;
    FaultPlan m_faults;
    ProtocolLog m_log;
    QString m_password = kDefaultPassword;
    QList<SimConnection *> m_connections;
    QStringList m_received;
    QTimer m_songTimer;
    int m_nextId = 1;
};
