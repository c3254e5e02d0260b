#pragma once

#include "ConnectionGuard.h"
#include "LoginLimiter.h"
#include "SessionTokens.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTimer>

class RemoteFace;
class QTcpSocket;

// The web remote's HTTP side: the built-in page, the login, the state as JSON, a stream of
// state changes (server-sent events) and one POST per action. Every request but the page's
// own files needs the session cookie a right password gave; every action needs a JSON body and
// an Origin matching the Host.
class WebRemoteServer : public QObject
{
    Q_OBJECT

public:
    // A heartbeat keeps quiet streams from being closed as idle and finds vanished browsers.
    static constexpr int kHeartbeatMs = 15'000;

    WebRemoteServer(RemoteFace *face, const QString &password, QObject *parent = nullptr);

    void setLimits(const ConnectionGuard::Limits &limits) { m_limits = limits; }
#if QT_CONFIG(ssl)
    // Serve HTTPS with this certificate and key; call before listenOn().
    void setTls(const QSslConfiguration &configuration)
    {
        m_tlsConfiguration = configuration;
        m_tls = true;
    }
#endif
    // Listens through the connection guard; false when the address cannot be bound.
    bool listenOn(const QHostAddress &address, quint16 port);
    quint16 port() const;

private:
    using Request = HttpRequestReader::Request;
    void handleRequest(const Request &request, QTcpSocket *socket);
    void handleLogin(const Request &request, QTcpSocket *socket);
    void handleAction(const Request &request, QTcpSocket *socket);
    void openStream(QTcpSocket *socket);
    bool serveFile(const Request &request, QTcpSocket *socket);
    bool isLoggedIn(const Request &request) const;
    bool isOwnOrigin(const Request &request) const;
    QByteArray statePayload() const;
    void pushToStreams(const QByteArray &text);
    void respond(QTcpSocket *socket, int status, const QByteArray &contentType, const QByteArray &body,
                 const HttpResponseWriter::Headers &headers = {});
    void respondMessage(QTcpSocket *socket, int status, const QString &message);

    RemoteFace *m_face;
    QByteArray m_password;
    ConnectionGuard::Limits m_limits;
    ConnectionGuard *m_guard = nullptr;
    bool m_tls = false;
#if QT_CONFIG(ssl)
    QSslConfiguration m_tlsConfiguration;
#endif
    LoginLimiter m_limiter;
    SessionTokens m_tokens;
    QElapsedTimer m_clock;
    QTimer m_heartbeat;
};
