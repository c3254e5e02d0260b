#include "WebRemoteServer.h"

#include "QrCode.h"
#include "RequestRules.h"
#include "SecretCompare.h"
#include "ServeTexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#if QT_CONFIG(ssl)
#include <QSslCertificate>
#endif

#include <array>

namespace {

struct StaticFile
{
    const char *path;
    const char *resource;
    const char *contentType;
};

struct PageFile
{
    QByteArray path;
    QString resource;
    QByteArray contentType;
};

// The page's own files, as the build put them into the program (their one list is in CMake);
// no request ever names a path on disk. The page itself is "/", each other file its name.
const QList<PageFile> &pageFiles()
{
    static const QList<PageFile> files = [] {
        static const QList<std::pair<QString, QByteArray>> kTypes{
            {QStringLiteral("html"), "text/html; charset=utf-8"},
            {QStringLiteral("js"), "text/javascript; charset=utf-8"},
            {QStringLiteral("css"), "text/css; charset=utf-8"},
            {QStringLiteral("svg"), "image/svg+xml"},
            {QStringLiteral("png"), "image/png"},
            {QStringLiteral("ico"), "image/x-icon"},
            {QStringLiteral("webmanifest"), "application/manifest+json"},
        };
        const QDir folder(QStringLiteral(":/kurvan/web"));
        QList<PageFile> all;
        for (const QFileInfo &file : folder.entryInfoList(QDir::Files)) {
            QByteArray type = "application/octet-stream";
            for (const auto &[suffix, known] : kTypes) {
                if (file.suffix() == suffix)
                    type = known;
            }
            const QByteArray path =
                file.fileName() == QStringLiteral("index.html") ? "/" : '/' + file.fileName().toUtf8();
            all.append({path, file.filePath(), type});
        }
        return all;
    }();
    return files;
}

// The page loads nothing from elsewhere, may not be framed, and tells no other site where it was.
const HttpResponseWriter::Headers kPageHeaders{
    {"Content-Security-Policy",
     "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; img-src 'self' data:; "
     "manifest-src 'self'; "
     "form-action 'none'; frame-ancestors 'none'; base-uri 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"X-Frame-Options", "DENY"},
    {"Referrer-Policy", "no-referrer"},
    {"Cache-Control", "no-store"},
};

// The way from plain HTTP to TLS: a page telling a phone how to trust our authority once.
constexpr std::array kTrustFiles{
    StaticFile{"/trust", ":/kurvan/trust/trust.html", "text/html; charset=utf-8"},
    StaticFile{"/trust.css", ":/kurvan/trust/trust.css", "text/css; charset=utf-8"},
    StaticFile{"/trust.js", ":/kurvan/trust/trust.js", "text/javascript; charset=utf-8"},
};
constexpr char kAuthorityPath[] = "/kurvan-ca.crt";

QByteArray readResource(const char *name)
{
    QFile resource(QString::fromLatin1(name));
    return resource.open(QIODevice::ReadOnly) ? resource.readAll() : QByteArray();
}

struct EndedText
{
    SessionTokens::End why;
    const char *reason; // for the page, in the 401 answer
    const QString &message;
    const QString &logged;
};

// Why a request has no session, as the page learns it and as the log says it.
const std::array kEnded{
    EndedText{SessionTokens::End::LoggedOut, "logout", ServeText::SessionLoggedOut, ServeText::EndedLoggedOut},
    EndedText{SessionTokens::End::Idle, "idle", ServeText::SessionIdle, ServeText::EndedIdle},
    EndedText{SessionTokens::End::Lifetime, "lifetime", ServeText::SessionLifetime, ServeText::EndedLifetime},
    EndedText{SessionTokens::End::Displaced, "displaced", ServeText::SessionDisplaced, ServeText::EndedDisplaced},
    EndedText{SessionTokens::End::Unknown, "restart", ServeText::SessionUnknown, ServeText::EndedDisplaced},
};

const EndedText &endedText(SessionTokens::End why)
{
    for (const EndedText &text : kEnded) {
        if (text.why == why)
            return text;
    }
    return kEnded.back();
}

QString seconds(qint64 ms)
{
    return QString::number((ms + 999) / 1000);
}

} // namespace

WebRemoteServer::WebRemoteServer(RemoteFace *face, const QString &password, QObject *parent)
    : QObject(parent), m_face(face), m_password(password.toUtf8())
{
    m_clock.start();
    m_now = [this] { return m_clock.elapsed(); };
    m_loggedLink = m_face->linkStatus();
    connect(m_face, &RemoteFace::changed, this, [this] {
        logLinkChange();
        pushToStreams("data: " + statePayload() + "\n\n");
    });
    m_heartbeat.setInterval(kHeartbeatMs);
    connect(&m_heartbeat, &QTimer::timeout, this, [this] { pushToStreams(": \n\n"); });
    m_heartbeat.start();
    m_sessionCheck.setInterval(kSessionCheckMs);
    connect(&m_sessionCheck, &QTimer::timeout, this, &WebRemoteServer::checkSessions);
    m_sessionCheck.start();
}

#if QT_CONFIG(ssl)
void WebRemoteServer::setTls(const QSslConfiguration &configuration)
{
    m_tlsConfiguration = configuration;
    m_tls = true;
    if (m_guard)
        m_guard->setTls(configuration);
}

void WebRemoteServer::setAuthority(const QByteArray &certificatePem)
{
    const QSslCertificate authority(certificatePem, QSsl::Pem);
    m_authorityDer = authority.toDer();
    m_authorityName = authority.subjectInfo(QSslCertificate::CommonName).value(0);
    m_fingerprint = QString::fromLatin1(authority.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}
#endif

bool WebRemoteServer::listenOn(const QHostAddress &address, quint16 port)
{
    auto *guard = new ConnectionGuard(
        m_limits, [this](const Request &request, QTcpSocket *socket) { handleRequest(request, socket); }, &m_log, this);
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
    m_lastStatus = 0;
    route(request, socket);
    m_log.detail(ServeText::LogRequest.arg(m_guard->clientOf(socket), ServeLog::printable(request.method, 10),
                                           ServeLog::printable(request.path), QString::number(m_lastStatus)));
}

void WebRemoteServer::route(const Request &request, QTcpSocket *socket)
{
    const QByteArray &path = request.path;
    const QByteArray &method = request.method;
    const bool read = method == "GET" || method == "HEAD";

    // Before anything else, on every route: a name that is not ours may be a stranger's page
    // that pointed its own name at this service.
    if (!m_hosts.allows(request.value("host"))) {
        const QString client = m_guard->clientOf(socket);
        m_log.refusal(QStringLiteral("host"), client,
                      ServeText::LogHostRefused.arg(client, ServeLog::printable(request.value("host"))), now());
        respondMessage(socket, 421, ServeText::UnknownHost);
        return;
    }
    if (m_tls && !ConnectionGuard::isEncrypted(socket)) {
        routePlain(request, socket);
        return;
    }
    if (read && serveTrust(request, socket))
        return;
    if (path == "/api/login" || path == "/api/logout" || RequestRules::actionForPath(path)) {
        // No change through GET: only a POST with a JSON body acts.
        if (method != "POST")
            respondMessage(socket, 405, ServeText::MethodNotAllowed);
        else if (path == "/api/login")
            handleLogin(request, socket);
        else if (path == "/api/logout")
            handleLogout(request, socket);
        else
            handleAction(request, socket);
        return;
    }
    if (path == "/api/state" || path == "/api/events") {
        if (!read) {
            respondMessage(socket, 405, ServeText::MethodNotAllowed);
            return;
        }
        const std::optional<QByteArray> session = requireSession(request, socket);
        if (!session)
            return;
        if (path == "/api/events") {
            // The first event is the state as it is now, so a page needs no second request.
            m_guard->startStream(socket, {{"Content-Type", "text/event-stream"}, {"Cache-Control", "no-store"}},
                                 "retry: 2000\ndata: " + statePayload() + "\n\n", *session);
            m_lastStatus = 200;
        } else {
            respond(socket, 200, "application/json",
                    QJsonDocument(snapshotToJson(m_face->snapshot())).toJson(QJsonDocument::Compact),
                    {{"Cache-Control", "no-store"}});
        }
        return;
    }
    if (read && serveFile(request, socket))
        return;
    respondMessage(socket, 404, ServeText::NotFound);
}

void WebRemoteServer::handleLogin(const Request &request, QTcpSocket *socket)
{
    if (!requireOwnOrigin(request, socket))
        return;
    const QHostAddress peer = socket->peerAddress();
    const QString client = m_guard->clientOf(socket);
    const LoginLimiter::Wait wait = m_limiter.wait(peer, now());
    if (wait.ms > 0) {
        // Refused without looking at the password, right or wrong.
        const QString text = wait.global ? ServeText::TooManyTriesAll : ServeText::TooManyTries;
        m_log.refusal(QStringLiteral("429"), client, ServeText::LogLoginWaits.arg(client, seconds(wait.ms)), now());
        respond(socket, 429, "application/json", ConnectionGuard::errorBody(text.arg(seconds(wait.ms))),
                {{"Retry-After", seconds(wait.ms).toLatin1()}});
        return;
    }
    const auto password = RequestRules::readLoginBody(request.value("content-type"), request.body);
    if (!password.value) {
        respondMessage(socket, password.status, password.message);
        return;
    }
    if (!constantTimeEquals(password.value->toUtf8(), m_password)) {
        const int failures = m_limiter.recordFailure(peer, now());
        m_log.event(ServeText::LogLoginFailed.arg(client).arg(failures).arg(LoginLimiter::kMaxFailures));
        if (failures == LoginLimiter::kMaxFailures)
            m_log.event(ServeText::LogLockedOut.arg(client).arg(LoginLimiter::kLockoutMs / 1000));
        // Only a checked password counts, and none is checked once the budget is spent: this is
        // the failure that spent it, logged once.
        if (const qint64 global = m_limiter.globalWaitMs(now()); global > 0)
            m_log.event(ServeText::LogGlobalLock.arg(LoginLimiter::kMaxGlobalFailures).arg(seconds(global)));
        respondMessage(socket, 401, ServeText::PasswordWrong);
        return;
    }
    m_limiter.recordSuccess(peer);
    const SessionTokens::Created created = m_tokens.create(now());
    if (created.displaced)
        endSession(*created.displaced);
    m_guard->markTrusted(socket);
    m_log.event(ServeText::LogLoggedIn.arg(client, QString::fromLatin1(created.tag)));
    respond(socket, 200, "application/json", "{\"ok\":true}",
            {{"Set-Cookie", cookie(created.token, "; Path=/; HttpOnly; SameSite=Strict")}});
}

void WebRemoteServer::handleLogout(const Request &request, QTcpSocket *socket)
{
    const std::optional<QByteArray> session = requireSession(request, socket);
    if (!session || !requireOwnOrigin(request, socket))
        return;
    const auto checked = RequestRules::readNoArguments(request.value("content-type"), request.body);
    if (!checked.value) {
        respondMessage(socket, checked.status, checked.message);
        return;
    }
    m_tokens.end(RequestRules::cookieValue(request.value("cookie"), RequestRules::kCookieName));
    endSession({*session, SessionTokens::End::LoggedOut});
    respond(socket, 200, "application/json",
            QJsonDocument(
                QJsonObject{{QStringLiteral("ok"), true}, {QStringLiteral("message"), ServeText::SessionLoggedOut}})
                .toJson(QJsonDocument::Compact),
            {{"Set-Cookie", cookie({}, "; Path=/; Max-Age=0; HttpOnly; SameSite=Strict")}});
}

void WebRemoteServer::handleAction(const Request &request, QTcpSocket *socket)
{
    const std::optional<QByteArray> session = requireSession(request, socket);
    if (!session || !requireOwnOrigin(request, socket))
        return;
    const auto action = RequestRules::actionForPath(request.path);
    const auto checked = RequestRules::readActionBody(*action, request.value("content-type"), request.body);
    if (!checked.value) {
        respondMessage(socket, checked.status, checked.message);
        return;
    }
    const SessionResult result = m_face->perform(*checked.value);
    QString what = QString::fromLatin1(request.path);
    if (!checked.value->command)
        what += u' ' + QString::number(checked.value->volume);
    const QString tag = QString::fromLatin1(*session);
    const QString client = m_guard->clientOf(socket);
    switch (result) {
    case SessionResult::Done:
        m_log.event(ServeText::LogAction.arg(client, tag, what));
        respond(socket, 200, "application/json", "{\"ok\":true}");
        return;
    case SessionResult::Forbidden:
        m_log.event(ServeText::LogActionRefused.arg(client, tag, what, ServeText::Forbidden));
        respondMessage(socket, 409, ServeText::Forbidden);
        return;
    case SessionResult::NotConfirmed:
        m_log.event(ServeText::LogActionRefused.arg(client, tag, what, ServeText::Busy));
        respondMessage(socket, 503, ServeText::Busy);
        return;
    default:
        m_log.event(ServeText::LogActionRefused.arg(client, tag, what, ServeText::NoLink));
        respondMessage(socket, 503, ServeText::NoLink);
        return;
    }
}

bool WebRemoteServer::serveFile(const Request &request, QTcpSocket *socket)
{
    for (const PageFile &file : pageFiles()) {
        if (request.path != file.path)
            continue;
        QFile resource(file.resource);
        if (!resource.open(QIODevice::ReadOnly))
            return false;
        respond(socket, 200, file.contentType, resource.readAll(), kPageHeaders);
        return true;
    }
    return false;
}

void WebRemoteServer::routePlain(const Request &request, QTcpSocket *socket)
{
    // The Host has passed the allow-list: it holds only a name or address of ours and a port.
    const QByteArray https = "https://" + request.value("host") + '/';
    if (request.path.startsWith("/api/")) {
        // Nothing that carries a password or a session is taken in the clear, not even to
        // refuse it for another reason.
        const QString client = m_guard->clientOf(socket);
        m_log.refusal(QStringLiteral("plain"), client,
                      ServeText::LogPlainRefused.arg(client, ServeLog::printable(request.path)), now());
        respond(
            socket, 403, "application/json",
            QJsonDocument(QJsonObject{{QStringLiteral("error"), ServeText::HttpsOnly.arg(QString::fromLatin1(https))},
                                      {QStringLiteral("https"), QString::fromLatin1(https)}})
                .toJson(QJsonDocument::Compact));
        return;
    }
    if (request.method != "GET" && request.method != "HEAD") {
        respondMessage(socket, 405, ServeText::MethodNotAllowed);
        return;
    }
    if (request.path == "/") {
        // Temporary: the same address may serve plain HTTP again after a restart with
        // --plain-http, and a remembered redirect would then lead nowhere.
        respond(socket, 302, "text/plain; charset=utf-8", "https\n",
                {{"Location", https}, {"Cache-Control", "no-store"}});
        return;
    }
    if (!serveTrust(request, socket))
        respondMessage(socket, 404, ServeText::NotFound);
}

bool WebRemoteServer::serveTrust(const Request &request, QTcpSocket *socket)
{
    if (!m_tls)
        return false;
    const QByteArray host = request.value("host");
    if (request.path == kAuthorityPath) {
        if (m_authorityDer.isEmpty())
            return false;
        // The type phones install from: iOS offers the profile, Android its certificate store.
        respond(socket, 200, "application/x-x509-ca-cert", m_authorityDer,
                {{"X-Content-Type-Options", "nosniff"}, {"Cache-Control", "no-store"}});
        return true;
    }
    for (const StaticFile &file : kTrustFiles) {
        if (request.path != QByteArrayView(file.path))
            continue;
        QByteArray body = readResource(file.resource);
        HttpResponseWriter::Headers headers = kPageHeaders;
        if (request.path == "/trust") {
            // Without an authority of ours (a certificate the venue brought) there is nothing
            // to trust here.
            if (m_authorityDer.isEmpty()) {
                respond(socket, 302, "text/plain; charset=utf-8", "https\n",
                        {{"Location", "https://" + host + '/'}, {"Cache-Control", "no-store"}});
                return true;
            }
            const QString https = QStringLiteral("https://%1/").arg(QString::fromLatin1(host));
            const QrCode code = QrCode::encode("http://" + host + "/trust");
            body.replace("{{FINGERPRINT}}", m_fingerprint.toUtf8());
            body.replace("{{NAME}}", m_authorityName.toHtmlEscaped().toUtf8());
            body.replace("{{HTTPS}}", https.toHtmlEscaped().toUtf8());
            body.replace("{{QR}}", code.isNull() ? QByteArray() : code.toSvg());
            // The page may ask its own https address whether this phone trusts it already.
            headers[0].second = "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
                                "connect-src 'self' https://" +
                                host + "; form-action 'none'; frame-ancestors 'none'; base-uri 'none'";
        }
        respond(socket, 200, file.contentType, body, headers);
        return true;
    }
    return false;
}

std::optional<QByteArray> WebRemoteServer::requireSession(const Request &request, QTcpSocket *socket)
{
    checkSessions();
    const QByteArray token = RequestRules::cookieValue(request.value("cookie"), RequestRules::kCookieName);
    if (const std::optional<QByteArray> tag = m_tokens.use(token, now())) {
        // A client that showed a session is never closed to make room for strangers.
        m_guard->markTrusted(socket);
        return tag;
    }
    QJsonObject body{{QStringLiteral("error"), ServeText::LoginNeeded},
                     {QStringLiteral("reason"), QStringLiteral("none")}};
    if (!token.isEmpty()) {
        const EndedText &ended = endedText(m_tokens.whyEnded(token));
        body = {{QStringLiteral("error"), ended.message}, {QStringLiteral("reason"), QLatin1String(ended.reason)}};
    }
    respond(socket, 401, "application/json", QJsonDocument(body).toJson(QJsonDocument::Compact));
    return std::nullopt;
}

bool WebRemoteServer::requireOwnOrigin(const Request &request, QTcpSocket *socket)
{
    if (RequestRules::originMatchesHost(request.value("origin"), request.value("host"), m_tls))
        return true;
    const QString client = m_guard->clientOf(socket);
    m_log.refusal(QStringLiteral("origin"), client,
                  ServeText::LogOriginRefused.arg(client, ServeLog::printable(request.value("origin"))), now());
    respondMessage(socket, 403, ServeText::ForeignOrigin);
    return false;
}

void WebRemoteServer::endSession(const SessionTokens::Ended &ended)
{
    m_log.event(ServeText::LogSessionEnded.arg(QString::fromLatin1(ended.tag), endedText(ended.why).logged));
    if (m_guard)
        m_guard->closeStreamsOf(ended.tag);
}

void WebRemoteServer::checkSessions()
{
    for (const SessionTokens::Ended &ended : m_tokens.lapse(now()))
        endSession(ended);
}

void WebRemoteServer::logLinkChange()
{
    const LinkStatus status = m_face->linkStatus();
    if (status.phase == m_loggedLink.phase && status.attempt == m_loggedLink.attempt)
        return;
    m_loggedLink = status;
    const QString retry = seconds(status.retryInMs);
    switch (status.phase) {
    case LinkStatus::Phase::Connected:
        m_log.event(ServeText::LogLinkUp);
        break;
    case LinkStatus::Phase::Connecting:
        m_log.detail(ServeText::LogLinkAttempt.arg(status.attempt));
        break;
    case LinkStatus::Phase::Waiting:
        m_log.event(status.attempt == 0 ? ServeText::LogLinkLost.arg(retry)
                                        : ServeText::LogLinkFailed.arg(status.attempt).arg(retry));
        break;
    case LinkStatus::Phase::PasswordRefused:
        m_log.event(ServeText::LogLinkRefused.arg(status.attempt).arg(retry));
        break;
    }
}

QByteArray WebRemoteServer::statePayload() const
{
    // What each control may do now, decided here once, so the page keeps no copy of the rules.
    QJsonObject allowed;
    for (const RequestRules::NamedAction &named : RequestRules::namedActions())
        allowed.insert(named.name, m_face->allows(named.action));
    const QJsonObject payload{
        {QStringLiteral("state"), snapshotToJson(m_face->snapshot())},
        {QStringLiteral("link"), linkStatusToJson(m_face->linkStatus())},
        {QStringLiteral("allowed"), allowed},
        {QStringLiteral("timing"), QJsonObject{{QStringLiteral("volumeRestMs"), Vocabulary::kVolumeRest}}}};
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
    m_lastStatus = status;
    HttpResponseWriter::Headers all{{"Content-Type", contentType}};
    all += headers;
    m_guard->respond(socket, status, all, body);
}

void WebRemoteServer::respondMessage(QTcpSocket *socket, int status, const QString &message)
{
    respond(socket, status, "application/json", ConnectionGuard::errorBody(message));
}

QByteArray WebRemoteServer::cookie(const QByteArray &value, const QByteArray &extra) const
{
    return QByteArray(RequestRules::kCookieName) + '=' + value + extra + (m_tls ? "; Secure" : "");
}
