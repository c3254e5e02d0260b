#pragma once

#include "ConnectionGuard.h"
#include "HostAllowList.h"
#include "LoginLimiter.h"
#include "RemoteFace.h"
#include "ServeLog.h"
#include "SessionTokens.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTimer>

#include <functional>

class QTcpSocket;

// The web remote's HTTP side: the built-in page, the login and logout, the state as JSON, a
// stream of state changes (server-sent events) and one POST per action. Every request must name
// a Host of ours; every request but the page's own files needs the session cookie a right
// password gave; every change needs a JSON body and, from a browser, an Origin matching the
// Host. Each refusal, login, action and ended session is one line in the log.
class WebRemoteServer : public QObject
{
    Q_OBJECT

public:
    // A heartbeat keeps quiet streams from being closed as idle and finds vanished browsers.
    static constexpr int kHeartbeatMs = 15'000;
    // How often sessions are checked for their idle time and lifetime.
    static constexpr int kSessionCheckMs = 1'000;

    WebRemoteServer(RemoteFace *face, const QString &password, QObject *parent = nullptr);

    void setLimits(const ConnectionGuard::Limits &limits) { m_limits = limits; }
    // The names besides IP literals and "localhost" that a request's Host may carry.
    void setAllowedHosts(const QStringList &names) { m_hosts = HostAllowList(names); }
    ServeLog &log() { return m_log; }
    // Milliseconds of a monotonic clock for sessions and login limits; tests pass their own.
    void setClock(std::function<qint64()> clock) { m_now = std::move(clock); }
#if QT_CONFIG(ssl)
    // Serve HTTPS with this certificate and key; plain HTTP on the same port then serves only
    // the way there (a redirect, the trust page, the authority's certificate). Called again
    // with a certificate issued anew, it holds for the connections after it.
    void setTls(const QSslConfiguration &configuration);
    // The authority that issued the certificate (PEM), for the trust page and its download.
    void setAuthority(const QByteArray &certificatePem);
#endif
    // Listens through the connection guard; false when the address cannot be bound.
    bool listenOn(const QHostAddress &address, quint16 port);
    quint16 port() const;
    const ConnectionGuard *guard() const
    {
        return m_guard;
    }

private:
    using Request = HttpRequestReader::Request;
    void handleRequest(const Request &request, QTcpSocket *socket);
    void route(const Request &request, QTcpSocket *socket);
    void handleLogin(const Request &request, QTcpSocket *socket);
    void handleLogout(const Request &request, QTcpSocket *socket);
    void handleAction(const Request &request, QTcpSocket *socket);
    bool serveFile(const Request &request, QTcpSocket *socket);
    // The way to TLS, over either protocol: true when path was one of its routes.
    bool serveTrust(const Request &request, QTcpSocket *socket);
    // A request over plain HTTP while TLS is on.
    void routePlain(const Request &request, QTcpSocket *socket);
    // The tag of the request's valid session, which marks the connection trusted; nullopt
    // after answering 401 with why there is none.
    std::optional<QByteArray> requireSession(const Request &request, QTcpSocket *socket);
    bool requireOwnOrigin(const Request &request, QTcpSocket *socket);
    void endSession(const SessionTokens::Ended &ended);
    void checkSessions();
    void logLinkChange();
    QByteArray statePayload() const;
    void pushToStreams(const QByteArray &text);
    void respond(QTcpSocket *socket, int status, const QByteArray &contentType, const QByteArray &body,
                 const HttpResponseWriter::Headers &headers = {});
    void respondMessage(QTcpSocket *socket, int status, const QString &message);
    QByteArray cookie(const QByteArray &value, const QByteArray &extra) const;
    qint64 now() const
    {
        return m_now();
    }

    RemoteFace *m_face;
    QByteArray m_password;
    ConnectionGuard::Limits m_limits;
    ConnectionGuard *m_guard = nullptr;
    HostAllowList m_hosts;
    bool m_tls = false;
#if QT_CONFIG(ssl)
    QSslConfiguration m_tlsConfiguration;
#endif
    QByteArray m_authorityDer;
    QString m_authorityName;
    QString m_fingerprint;
    LoginLimiter m_limiter;
    SessionTokens m_tokens;
    ServeLog m_log;
    QElapsedTimer m_clock;
    std::function<qint64()> m_now;
    QTimer m_heartbeat;
    QTimer m_sessionCheck;
    LinkStatus m_loggedLink;
    int m_lastStatus = 0; // of the request being handled, for the verbose log
};
