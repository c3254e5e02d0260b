#include "WebRemoteServer.h"

#include "RemoteFace.h"
#include "RequestRules.h"
#include "SecretCompare.h"
#include "ServeTexts.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

#include <array>

namespace {

using Method = QHttpServerRequest::Method;

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
const QList<std::pair<QByteArray, QByteArray>> kPageHeaders{
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
    : QAbstractHttpServer(parent), m_face(face), m_password(password.toUtf8())
{
    m_clock.start();
    connect(m_face, &RemoteFace::changed, this, [this] { pushToStreams("data: " + statePayload() + "\n\n"); });
    m_heartbeat.setInterval(kHeartbeatMs);
    connect(&m_heartbeat, &QTimer::timeout, this, [this] { pushToStreams(": \n\n"); });
    m_heartbeat.start();
}

bool WebRemoteServer::listenOn(const QHostAddress &address, quint16 port)
{
    auto *guard = new ConnectionGuard(m_limits, this);
#if QT_CONFIG(ssl)
    if (m_tls)
        guard->setTls(m_tlsConfiguration);
#endif
    if (!guard->listen(address, port)) {
        delete guard;
        return false;
    }
    m_guard = guard;
    bind(guard);
    return true;
}

quint16 WebRemoteServer::port() const
{
    return m_guard ? m_guard->serverPort() : 0;
}

bool WebRemoteServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    const QByteArray path = request.url().path().toUtf8();
    const Method method = request.method();

    if (path == "/api/login") {
        if (method != Method::Post)
            respondMessage(request, socket, 405, ServeText::MethodNotAllowed);
        else
            handleLogin(request, socket);
        return true;
    }
    if (RequestRules::actionForPath(path)) {
        // No change through GET: only a POST with a JSON body acts.
        if (method != Method::Post)
            respondMessage(request, socket, 405, ServeText::MethodNotAllowed);
        else
            handleAction(request, socket);
        return true;
    }
    if (path == "/api/state" || path == "/api/events") {
        if (method != Method::Get)
            respondMessage(request, socket, 405, ServeText::MethodNotAllowed);
        else if (!isLoggedIn(request))
            respondMessage(request, socket, 401, ServeText::LoginNeeded);
        else if (path == "/api/events")
            openStream(request, socket);
        else
            respond(request, socket, 200, "application/json",
                    QJsonDocument(snapshotToJson(m_face->snapshot())).toJson(QJsonDocument::Compact),
                    {{"Cache-Control", "no-store"}});
        return true;
    }
    if (method == Method::Get && serveFile(request, socket))
        return true;
    return false;
}

void WebRemoteServer::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket)
{
    respondMessage(request, socket, 404, ServeText::NotFound);
}

void WebRemoteServer::handleLogin(const QHttpServerRequest &request, QTcpSocket *socket)
{
    if (!isOwnOrigin(request)) {
        respondMessage(request, socket, 403, ServeText::ForeignOrigin);
        return;
    }
    const QHostAddress peer = request.remoteAddress();
    const qint64 wait = m_limiter.waitMs(peer, m_clock.elapsed());
    if (wait > 0) {
        // Refused without looking at the password, right or wrong.
        const qint64 seconds = (wait + 999) / 1000;
        respond(request, socket, 429, "application/json",
                QJsonDocument(QJsonObject{{QStringLiteral("error"), ServeText::TooManyTries.arg(seconds)}})
                    .toJson(QJsonDocument::Compact),
                {{"Retry-After", QByteArray::number(seconds)}});
        return;
    }
    const auto password = RequestRules::readLoginBody(request.value("content-type"), request.body());
    if (!password.value) {
        respondMessage(request, socket, password.status, password.message);
        return;
    }
    if (!constantTimeEquals(password.value->toUtf8(), m_password)) {
        m_limiter.recordFailure(peer, m_clock.elapsed());
        respondMessage(request, socket, 401, ServeText::PasswordWrong);
        return;
    }
    m_limiter.recordSuccess(peer);
    const QByteArray cookie = QByteArray(RequestRules::kCookieName) + '=' + m_tokens.create() +
                              "; Path=/; HttpOnly; SameSite=Strict" + (m_tls ? "; Secure" : "");
    respond(request, socket, 200, "application/json", "{\"ok\":true}", {{"Set-Cookie", cookie}});
}

void WebRemoteServer::handleAction(const QHttpServerRequest &request, QTcpSocket *socket)
{
    if (!isLoggedIn(request)) {
        respondMessage(request, socket, 401, ServeText::LoginNeeded);
        return;
    }
    if (!isOwnOrigin(request)) {
        respondMessage(request, socket, 403, ServeText::ForeignOrigin);
        return;
    }
    const auto action = RequestRules::actionForPath(request.url().path().toUtf8());
    const auto checked = RequestRules::readActionBody(*action, request.value("content-type"), request.body());
    if (!checked.value) {
        respondMessage(request, socket, checked.status, checked.message);
        return;
    }
    switch (m_face->perform(*checked.value)) {
    case SessionResult::Done:
        respond(request, socket, 200, "application/json", "{\"ok\":true}");
        return;
    case SessionResult::Forbidden:
        respondMessage(request, socket, 409, ServeText::Forbidden);
        return;
    case SessionResult::NotConfirmed:
        respondMessage(request, socket, 503, ServeText::Busy);
        return;
    default:
        respondMessage(request, socket, 503, ServeText::NoLink);
        return;
    }
}

void WebRemoteServer::openStream(const QHttpServerRequest &request, QTcpSocket *socket)
{
    auto responder = makeResponder(request, socket);
    responder.writeStatusLine(QHttpServerResponder::StatusCode::Ok);
    responder.writeHeader("Content-Type", "text/event-stream");
    responder.writeHeader("Cache-Control", "no-store");
    // The first event is the state as it is now, so a page needs no second request.
    responder.writeBody("retry: 2000\ndata: " + statePayload() + "\n\n");
    if (m_guard)
        m_guard->markTrusted(socket);
    m_streams.removeIf([](const QPointer<QTcpSocket> &s) { return s.isNull(); });
    m_streams.append(socket);
}

bool WebRemoteServer::serveFile(const QHttpServerRequest &request, QTcpSocket *socket)
{
    const QByteArray path = request.url().path().toUtf8();
    for (const StaticFile &file : kFiles) {
        if (path != QByteArrayView(file.path))
            continue;
        QFile resource(QString::fromLatin1(file.resource));
        if (!resource.open(QIODevice::ReadOnly))
            return false;
        respond(request, socket, 200, file.contentType, resource.readAll(), kPageHeaders);
        return true;
    }
    return false;
}

bool WebRemoteServer::isLoggedIn(const QHttpServerRequest &request) const
{
    return m_tokens.isValid(RequestRules::cookieValue(request.value("cookie"), RequestRules::kCookieName));
}

bool WebRemoteServer::isOwnOrigin(const QHttpServerRequest &request) const
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
    m_streams.removeIf([](const QPointer<QTcpSocket> &s) { return s.isNull(); });
    for (const QPointer<QTcpSocket> &socket : std::as_const(m_streams)) {
        if (socket->state() == QAbstractSocket::ConnectedState)
            socket->write(text);
    }
}

void WebRemoteServer::respond(const QHttpServerRequest &request, QTcpSocket *socket, int status,
                              const QByteArray &contentType, const QByteArray &body,
                              const QList<std::pair<QByteArray, QByteArray>> &headers)
{
    auto responder = makeResponder(request, socket);
    responder.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(status));
    responder.writeHeader("Content-Type", contentType);
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    for (const auto &[name, value] : headers)
        responder.writeHeader(name, value);
    responder.writeBody(body);
}

void WebRemoteServer::respondMessage(const QHttpServerRequest &request, QTcpSocket *socket, int status,
                                     const QString &message)
{
    respond(request, socket, status, "application/json",
            QJsonDocument(QJsonObject{{QStringLiteral("error"), message}}).toJson(QJsonDocument::Compact));
}
