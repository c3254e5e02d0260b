#include "WebRemoteServer.h"

#include "RemoteFace.h"
#include "RequestRules.h"
#include "SecretCompare.h"
#include "ServeTexts.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

#include <array>

namespace {

struct StaticFile
{
    const char *path;
    const char *resource;
    const char *contentType;
};

// The page's own files, all built into the program; no request ever names a path on disk.
constexpr std::array kFiles{
    StaticFile{"/", ":/kurvan/web/index.html", "text/html; charset=utf-8"},
    StaticFile{"/app.js", ":/kurvan/web/app.js", "text/javascript; charset=utf-8"},
    StaticFile{"/style.css", ":/kurvan/web/style.css", "text/css; charset=utf-8"},
};

// The page loads nothing from elsewhere, may not be framed, and tells no other site where it was.
const HttpResponseWriter::Headers kPageHeaders{
    {"Content-Security-Policy",
     "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; img-src 'self' data:; "
     "form-action 'none'; frame-ancestors 'none'; base-uri 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"X-Frame-Options", "DENY"},
    {"Referrer-Policy", "no-referrer"},
    {"Cache-Control", "no-store"},
};

} // namespace

WebRemoteServer::WebRemoteServer(RemoteFace *face, const QString &password, QObject *parent)
    : QObject(parent), m_face(face), m_password(password.toUtf8())
{
    m_clock.start();
    connect(m_face, &RemoteFace::changed, this, [this] { pushToStreams("data: " + statePayload() + "\n\n"); });
    m_heartbeat.setInterval(kHeartbeatMs);
    connect(&m_heartbeat, &QTimer::timeout, this, [this] { pushToStreams(": \n\n"); });
    m_heartbeat.start();
}

bool WebRemoteServer::listenOn(const QHostAddress &address, quint16 port)
{
    auto *guard = new ConnectionGuard(
        m_limits, [this](const Request &request, QTcpSocket *socket) { handleRequest(request, socket); }, this);
#if QT_CONFIG(ssl)
    if (m_tls)
        guard->setTls(m_tlsConfiguration);
#endif
    if (!guard->listen(address, port)) {
        delete guard;
        return false;
    }
    m_guard = guard;
    return true;
}

quint16 WebRemoteServer::port() const
{
    return m_guard ? m_guard->serverPort() : 0;
}

void WebRemoteServer::handleRequest(const Request &request, QTcpSocket *socket)
{
    const QByteArray &path = request.path;
    const QByteArray &method = request.method;

    if (path == "/api/login") {
        if (method != "POST")
            respondMessage(socket, 405, ServeText::MethodNotAllowed);
        else
            handleLogin(request, socket);
        return;
    }
    if (RequestRules::actionForPath(path)) {
        // No change through GET: only a POST with a JSON body acts.
        if (method != "POST")
            respondMessage(socket, 405, ServeText::MethodNotAllowed);
        else
            handleAction(request, socket);
        return;
    }
    if (path == "/api/state" || path == "/api/events") {
        if (method != "GET")
            respondMessage(socket, 405, ServeText::MethodNotAllowed);
        else if (!isLoggedIn(request))
            respondMessage(socket, 401, ServeText::LoginNeeded);
        else if (path == "/api/events")
            openStream(socket);
        else
            respond(socket, 200, "application/json",
                    QJsonDocument(snapshotToJson(m_face->snapshot())).toJson(QJsonDocument::Compact),
                    {{"Cache-Control", "no-store"}});
        return;
    }
    if (method == "GET" && serveFile(request, socket))
        return;
    respondMessage(socket, 404, ServeText::NotFound);
}

void WebRemoteServer::handleLogin(const Request &request, QTcpSocket *socket)
{
    if (!isOwnOrigin(request)) {
        respondMessage(socket, 403, ServeText::ForeignOrigin);
        return;
    }
    const QHostAddress peer = socket->peerAddress();
    const qint64 wait = m_limiter.waitMs(peer, m_clock.elapsed());
    if (wait > 0) {
        // Refused without looking at the password, right or wrong.
        const qint64 seconds = (wait + 999) / 1000;
        respond(socket, 429, "application/json",
                QJsonDocument(QJsonObject{{QStringLiteral("error"), ServeText::TooManyTries.arg(seconds)}})
                    .toJson(QJsonDocument::Compact),
                {{"Retry-After", QByteArray::number(seconds)}});
        return;
    }
    const auto password = RequestRules::readLoginBody(request.value("content-type"), request.body);
    if (!password.value) {
        respondMessage(socket, password.status, password.message);
        return;
    }
    if (!constantTimeEquals(password.value->toUtf8(), m_password)) {
        m_limiter.recordFailure(peer, m_clock.elapsed());
        respondMessage(socket, 401, ServeText::PasswordWrong);
        return;
    }
    m_limiter.recordSuccess(peer);
    const QByteArray cookie = QByteArray(RequestRules::kCookieName) + '=' + m_tokens.create() +
                              "; Path=/; HttpOnly; SameSite=Strict" + (m_tls ? "; Secure" : "");
    respond(socket, 200, "application/json", "{\"ok\":true}", {{"Set-Cookie", cookie}});
}

void WebRemoteServer::handleAction(const Request &request, QTcpSocket *socket)
{
    if (!isLoggedIn(request)) {
        respondMessage(socket, 401, ServeText::LoginNeeded);
        return;
    }
    if (!isOwnOrigin(request)) {
        respondMessage(socket, 403, ServeText::ForeignOrigin);
        return;
    }
    const auto action = RequestRules::actionForPath(request.path);
    const auto checked = RequestRules::readActionBody(*action, request.value("content-type"), request.body);
    if (!checked.value) {
        respondMessage(socket, checked.status, checked.message);
        return;
    }
    switch (m_face->perform(*checked.value)) {
    case SessionResult::Done:
        respond(socket, 200, "application/json", "{\"ok\":true}");
        return;
    case SessionResult::Forbidden:
        respondMessage(socket, 409, ServeText::Forbidden);
        return;
    case SessionResult::NotConfirmed:
        respondMessage(socket, 503, ServeText::Busy);
        return;
    default:
        respondMessage(socket, 503, ServeText::NoLink);
        return;
    }
}

void WebRemoteServer::openStream(QTcpSocket *socket)
{
    // The first event is the state as it is now, so a page needs no second request.
    m_guard->startStream(socket, {{"Content-Type", "text/event-stream"}, {"Cache-Control", "no-store"}},
                         "retry: 2000\ndata: " + statePayload() + "\n\n");
}

bool WebRemoteServer::serveFile(const Request &request, QTcpSocket *socket)
{
    for (const StaticFile &file : kFiles) {
        if (request.path != QByteArrayView(file.path))
            continue;
        QFile resource(QString::fromLatin1(file.resource));
        if (!resource.open(QIODevice::ReadOnly))
            return false;
        respond(socket, 200, file.contentType, resource.readAll(), kPageHeaders);
        return true;
    }
    return false;
}

bool WebRemoteServer::isLoggedIn(const Request &request) const
{
    return m_tokens.isValid(RequestRules::cookieValue(request.value("cookie"), RequestRules::kCookieName));
}

bool WebRemoteServer::isOwnOrigin(const Request &request) const
{
    return RequestRules::originMatchesHost(request.value("origin"), request.value("host"), m_tls);
}

QByteArray WebRemoteServer::statePayload() const
{
    const QJsonObject payload{{QStringLiteral("state"), snapshotToJson(m_face->snapshot())},
                              {QStringLiteral("link"), linkStatusToJson(m_face->linkStatus())}};
    return QJsonDocument(payload).toJson(QJsonDocument::Compact);
}

void WebRemoteServer::pushToStreams(const QByteArray &text)
{
    if (m_guard)
        m_guard->pushToStreams(text);
}

void WebRemoteServer::respond(QTcpSocket *socket, int status, const QByteArray &contentType, const QByteArray &body,
                              const HttpResponseWriter::Headers &headers)
{
    HttpResponseWriter::Headers all{{"Content-Type", contentType}};
    all += headers;
    m_guard->respond(socket, status, all, body);
}

void WebRemoteServer::respondMessage(QTcpSocket *socket, int status, const QString &message)
{
    respond(socket, status, "application/json", ConnectionGuard::errorBody(message));
}
