#include "ConnectionGuard.h"

#include "ServeTexts.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#if QT_CONFIG(ssl)
#include <QSslSocket>
#endif

ConnectionGuard::ConnectionGuard(const Limits &limits, Handler handler, QObject *parent)
    : QTcpServer(parent), m_limits(limits), m_handler(std::move(handler))
{
    m_clock.start();
}

QByteArray ConnectionGuard::errorBody(const QString &message)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("error"), message}}).toJson(QJsonDocument::Compact);
}

void ConnectionGuard::incomingConnection(qintptr descriptor)
{
#if QT_CONFIG(ssl)
    if (m_tls) {
        auto *tlsSocket = new QSslSocket(this);
        if (!tlsSocket->setSocketDescriptor(descriptor)) {
            delete tlsSocket;
            return;
        }
        tlsSocket->setSslConfiguration(*m_tls);
        admit(tlsSocket);
        tlsSocket->startServerEncryption();
        return;
    }
#endif
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    admit(socket);
}

void ConnectionGuard::admit(QTcpSocket *socket)
{
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QObject::destroyed, this, [this, socket] { m_open.remove(socket); });
    // Qt stops taking bytes from the system once this much is unread: a connection that is
    // being handled, or that sends faster than we read, holds no more than one request.
    socket->setReadBufferSize(HttpRequestReader::kMaxHeadBytes + m_limits.maxBodyBytes);

    if (m_open.size() >= m_limits.maxConnections && !evictOne()) {
        m_open.insert(socket, Entry{});
        refuse(socket, 503, ServeText::TooManyConnections);
        return;
    }

    Entry entry;
    entry.idle = new QTimer(socket);
    entry.idle->setSingleShot(true);
    entry.idle->setInterval(m_limits.idleMs);
    connect(entry.idle, &QTimer::timeout, socket, &QTcpSocket::abort);
    entry.idle->start();
    entry.lastActivity = m_clock.elapsed();
    m_open.insert(socket, entry);

    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        noteActivity(socket);
        readRequests(socket);
    });
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { noteActivity(socket); });
}

void ConnectionGuard::noteActivity(QTcpSocket *socket)
{
    const auto it = m_open.find(socket);
    if (it == m_open.end() || !it->idle)
        return;
    it->lastActivity = m_clock.elapsed();
    it->idle->start();
}

void ConnectionGuard::readRequests(QTcpSocket *socket)
{
    const QPointer<QTcpSocket> alive(socket);
    const qsizetype bound = HttpRequestReader::kMaxHeadBytes + m_limits.maxBodyBytes;
    for (;;) {
        auto it = m_open.find(socket);
        if (it == m_open.end())
            return;
        if (it->streaming || it->closing) {
            // Nothing more is read as a request here; drop it so it holds no memory.
            socket->skip(socket->bytesAvailable());
            return;
        }
        // One request at a time: the next is read when this one has been answered.
        if (it->handling)
            return;
        if (it->received.size() < bound)
            it->received += socket->read(bound - it->received.size());

        const HttpRequestReader::Result result = HttpRequestReader::read(it->received, m_limits.maxBodyBytes);
        if (result.state == HttpRequestReader::Result::State::NeedMore) {
            // The reader refuses any head or body beyond the bound, so this is never full.
            return;
        }
        if (result.state == HttpRequestReader::Result::State::Refused) {
            refuse(socket, result.status, result.message);
            return;
        }
        it->received.remove(0, result.used);
        it->keepAlive = result.request.keepAlive;
        it->handling = true;
        m_handler(result.request, socket);
        // The handler may have waited on the event loop, where the socket can have gone.
        if (alive.isNull())
            return;
        it = m_open.find(socket);
        if (it == m_open.end())
            return;
        it->handling = false;
    }
}

void ConnectionGuard::respond(QTcpSocket *socket, int status, const HttpResponseWriter::Headers &headers,
                              const QByteArray &body)
{
    const auto it = m_open.find(socket);
    if (it == m_open.end() || it->closing || socket->state() != QAbstractSocket::ConnectedState)
        return;
    const bool keepAlive = it->keepAlive;
    socket->write(HttpResponseWriter::head(status, headers, body.size(), keepAlive) + body);
    if (!keepAlive)
        closeAfterWriting(socket);
}

void ConnectionGuard::startStream(QTcpSocket *socket, const HttpResponseWriter::Headers &headers,
                                  const QByteArray &first)
{
    const auto it = m_open.find(socket);
    if (it == m_open.end() || it->closing || socket->state() != QAbstractSocket::ConnectedState)
        return;
    it->streaming = true;
    it->trusted = true;
    // Without a length the stream ends with the connection, so the head says it will close.
    socket->write(HttpResponseWriter::head(200, headers, -1, false) + first);
}

void ConnectionGuard::pushToStreams(const QByteArray &text)
{
    QList<QTcpSocket *> stalled;
    for (auto it = m_open.constBegin(); it != m_open.constEnd(); ++it) {
        QTcpSocket *socket = it.key();
        if (!it->streaming || socket->state() != QAbstractSocket::ConnectedState)
            continue;
        if (socket->bytesToWrite() > kMaxUnsentBytes)
            stalled.append(socket);
        else
            socket->write(text);
    }
    // Aborted after the loop: aborting changes m_open.
    for (QTcpSocket *socket : std::as_const(stalled))
        socket->abort();
}

bool ConnectionGuard::evictOne()
{
    QTcpSocket *quietest = nullptr;
    qint64 oldest = 0;
    for (auto it = m_open.constBegin(); it != m_open.constEnd(); ++it) {
        if (!it->trusted && (!quietest || it->lastActivity < oldest)) {
            quietest = it.key();
            oldest = it->lastActivity;
        }
    }
    if (!quietest)
        return false;
    m_open.remove(quietest);
    quietest->abort();
    return true;
}

void ConnectionGuard::refuse(QTcpSocket *socket, int status, const QString &message)
{
    const auto it = m_open.find(socket);
    if (it != m_open.end())
        it->keepAlive = false;
    const QByteArray body = errorBody(message);
    socket->write(HttpResponseWriter::head(status, {{"Content-Type", "application/json"}}, body.size(), false) + body);
    closeAfterWriting(socket);
}

void ConnectionGuard::closeAfterWriting(QTcpSocket *socket)
{
    const auto it = m_open.find(socket);
    if (it != m_open.end()) {
        it->closing = true;
        it->received.clear();
    }
    // Closes once the answer is out; the idle timer still ends a peer that never reads it.
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState)
        socket->deleteLater();
}
