#include "ConnectionGuard.h"

#include "ServeTexts.h"

#include <QTcpSocket>
#include <QTimer>
#if QT_CONFIG(ssl)
#include <QSslSocket>
#endif

ConnectionGuard::ConnectionGuard(const Limits &limits, QObject *parent) : QTcpServer(parent), m_limits(limits)
{
    m_clock.start();
}

void ConnectionGuard::markTrusted(QTcpSocket *socket)
{
    const auto it = m_open.find(socket);
    if (it != m_open.end())
        it->trusted = true;
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
    if (m_open.size() >= m_limits.maxConnections && !evictOne()) {
        refuse(socket, "503 Service Unavailable", ServeText::TooManyConnections);
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

    // Connected before the HTTP server sees the socket, so this runs first on every read.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
    connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
        noteActivity(socket);
        // An answer went out: the next request starts counting afresh.
        const auto it = m_open.find(socket);
        if (it != m_open.end())
            it->requestBytes = 0;
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { m_open.remove(socket); });
    connect(socket, &QObject::destroyed, this, [this, socket] { m_open.remove(socket); });
    addPendingConnection(socket);
}

void ConnectionGuard::noteActivity(QTcpSocket *socket)
{
    const auto it = m_open.find(socket);
    if (it == m_open.end())
        return;
    it->lastActivity = m_clock.elapsed();
    it->idle->start();
}

void ConnectionGuard::onReadyRead(QTcpSocket *socket)
{
    const auto it = m_open.find(socket);
    if (it == m_open.end())
        return;
    noteActivity(socket);
    // The HTTP server reads everything that has arrived on each read, so what is unread now is
    // what came since the last one.
    it->requestBytes += socket->bytesAvailable();
    if (it->requestBytes <= m_limits.maxRequestBytes)
        return;
    m_open.erase(it);
    // Take the socket from the HTTP server before it buffers this read, then answer and close.
    disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
    refuse(socket, "413 Payload Too Large", ServeText::TooLarge);
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

void ConnectionGuard::refuse(QTcpSocket *socket, QByteArrayView status, const QString &message)
{
    const QByteArray body = message.toUtf8();
    socket->write("HTTP/1.1 " + status.toByteArray() + "\r\nContent-Type: text/plain; charset=utf-8\r\n" +
                  "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    socket->disconnectFromHost();
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    if (socket->state() == QAbstractSocket::UnconnectedState)
        socket->deleteLater();
}
