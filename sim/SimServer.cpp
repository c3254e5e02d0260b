#include "SimServer.h"

#include "SimConnection.h"
#include "common/Windows1252.h"
#include "link/MessageSplit.h"
#include "link/Messages.h"
#include "link/Vocabulary.h"

#include <QLoggingCategory>
#include <QTcpServer>
#include <QTcpSocket>

#include <optional>

Q_LOGGING_CATEGORY(lcSimServer, "kurvan.sim.server", QtWarningMsg)

namespace {

// The end of a title is looked for at least this often, so that a clock replaced by a test
// is noticed even when the real one says the title has long to go.
constexpr qint64 kMaxSongCheckMs = 1000;
// Counts in commands are short decimal numbers; longer digit runs are refused, not wrapped.
constexpr qsizetype kMaxCountDigits = 4;

const QString kSetVolumeName = SplitMessage(Msg::SetVolumePrefix).name;

// Plain decimal digits only: no sign, no blanks, no decimal point.
std::optional<int> plainNumber(const QString &text)
{
    if (text.isEmpty() || text.size() > kMaxCountDigits)
        return std::nullopt;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    return text.toInt();
}

} // namespace

SimServer::SimServer(QObject *parent) : QObject(parent), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &SimServer::acceptClients);

    connect(&m_model, &JukeboxModel::creditChanged, this, [this] { pushNotice(Msg::ChangeCredit); });
    connect(&m_model, &JukeboxModel::titleChanged, this, [this] {
        pushNotice(Msg::ChangeTitle);
        scheduleSongCheck();
    });
    connect(&m_model, &JukeboxModel::playbackStopped, this, [this] {
        pushNotice(Msg::PlayStatusStop);
        scheduleSongCheck();
    });

    m_songTimer.setSingleShot(true);
    connect(&m_songTimer, &QTimer::timeout, this, [this] {
        m_model.sync();
        scheduleSongCheck();
    });
    scheduleSongCheck();
}

SimServer::~SimServer()
{
    // The connections refer to m_faults and m_log, which go before the QObject children do.
    for (SimConnection *connection : std::as_const(m_connections)) {
        connection->disconnect(this);
        delete connection;
    }
}

bool SimServer::listen(const QHostAddress &address, quint16 port)
{
    return m_server->listen(address, port);
}

quint16 SimServer::port() const
{
    return m_server->serverPort();
}

QHostAddress SimServer::address() const
{
    return m_server->serverAddress();
}

QString SimServer::errorString() const
{
    return m_server->errorString();
}

void SimServer::close()
{
    m_server->close();
    // close() may drop a connection from the list synchronously.
    const QList<SimConnection *> connections = m_connections;
    for (SimConnection *connection : connections)
        connection->close();
}

void SimServer::pushNotice(const QString &text)
{
    for (SimConnection *connection : std::as_const(m_connections)) {
        if (connection->isLoggedIn())
            connection->sendText(text);
    }
}

void SimServer::sendRaw(const QByteArray &bytes)
{
    for (SimConnection *connection : std::as_const(m_connections))
        connection->sendRaw(bytes);
}

int SimServer::loggedInCount() const
{
    return static_cast<int>(std::count_if(m_connections.cbegin(), m_connections.cend(),
                                          [](const SimConnection *c) { return c->isLoggedIn(); }));
}

void SimServer::acceptClients()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        auto *connection = new SimConnection(m_nextId++, socket, m_faults, m_log, this);
        m_connections.append(connection);
        m_log.note(
            connection->id(),
            QStringLiteral("connected from %1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort()));
        connect(connection, &SimConnection::messageReceived, this, &SimServer::handleMessage);
        connect(connection, &SimConnection::closed, this, &SimServer::dropConnection);
        emit clientConnected();
    }
}

void SimServer::handleMessage(SimConnection *connection, const QByteArray &bytes)
{
    const QString text = FromWindows1252(bytes);
    m_log.received(connection->id(), bytes);
    m_received.append(text);

    if (m_faults.closeAfterMessages > 0 && connection->messagesReceived() >= m_faults.closeAfterMessages) {
        m_log.note(connection->id(), QStringLiteral("closing after %1 messages").arg(connection->messagesReceived()));
        connection->close();
    } else if (text.startsWith(Msg::PasswordPrefix)) {
        handleLogin(connection, text);
    } else if (!connection->isLoggedIn()) {
        // Before the login the jukebox does not talk.
    } else if (text.startsWith(Msg::GetPrefix)) {
        answerQuery(connection, text.mid(Msg::GetPrefix.size()));
    } else if (!m_faults.ignoreCommands) {
        runCommand(text);
    }
    emit messageReceived(text);
}

void SimServer::handleLogin(SimConnection *connection, const QString &text)
{
    if (m_faults.withholdLogin) {
        m_log.note(connection->id(), QStringLiteral("withholding the login answer"));
        return;
    }
    if (text.mid(Msg::PasswordPrefix.size()) != m_password) {
        // A second, wrong attempt does not undo an earlier login.
        connection->sendText(Msg::PasswordWrong);
        return;
    }
    connection->setLoggedIn(true);
    connection->sendText(Msg::PasswordOK);
    connection->sendRaw(GarbageBytes(m_faults.garbageBytes, m_faults.garbageSeed));
    connection->sendRepeated(m_faults.floodNotice, m_faults.floodCount);
}

void SimServer::answerQuery(SimConnection *connection, const QString &name)
{
    std::optional<QString> value = m_model.value(name);
    if (!value)
        return;
    if (m_faults.withholds(name)) {
        m_log.note(connection->id(), QStringLiteral("withholding the answer to ") + name);
        return;
    }
    if (m_faults.empties(name))
        value->clear();
    const QString answer = m_faults.scriptedAnswers.value(name, name + u'|' + *value);
    connection->sendText(answer, m_faults.answerDelay(name));
}

void SimServer::runCommand(const QString &text)
{
    const MessageParts parts = SplitMessage(text);
    const std::optional<int> number = plainNumber(parts.value);
    const std::optional<Command> command = commandOfWire(text);
    if (!command) {
        if (number && parts.name == kSetVolumeName)
            m_model.setVolume(*number);
        return;
    }
    switch (*command) {
    case Command::AddCredit:
        if (number)
            m_model.addCredit(*number);
        break;
    case Command::RemoveCredit:
        if (number)
            m_model.removeCredit(*number);
        break;
    case Command::NextTitle:
        m_model.nextTitle();
        break;
    case Command::PrevTitle:
        m_model.previousTitle();
        break;
    case Command::Stop:
        m_model.stop();
        break;
    case Command::Quit:
        close();
        emit quitRequested();
        break;
    }
}

void SimServer::dropConnection(SimConnection *connection)
{
    m_log.note(connection->id(), QStringLiteral("closed"));
    m_connections.removeOne(connection);
    connection->deleteLater();
    emit clientDisconnected();
}

void SimServer::scheduleSongCheck()
{
    const qint64 ms = m_model.msUntilSongEnd();
    if (ms < 0) {
        m_songTimer.stop();
        return;
    }
    m_songTimer.start(static_cast<int>(qBound<qint64>(0, ms, kMaxSongCheckMs)));
}
