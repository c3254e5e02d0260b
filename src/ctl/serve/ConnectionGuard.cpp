#include "ConnectionGuard.h"

#include "PeerGroup.h"
#include "ServeLog.h"
#include "ServeTexts.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#if QT_CONFIG(ssl)
#include <QSslSocket>
#endif

ConnectionGuard::ConnectionGuard(const Limits &limits, Handler handler, ServeLog *log, QObject *parent)
    : QTcpServer(parent), m_limits(limits), m_handler(std::move(handler)), m_log(log)
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
        // Unencrypted until its first byte says which protocol the client speaks (sniff()).
        auto *tlsSocket = new QSslSocket(this);
        if (!tlsSocket->setSocketDescriptor(descriptor)) {
            delete tlsSocket;
            return;
        }
        tlsSocket->setSslConfiguration(*m_tls);
        connect(tlsSocket, &QSslSocket::encrypted, this, [this, tlsSocket] {
            // The handshake is done; the next request's first byte starts its own deadline.
            const auto it = m_open.find(tlsSocket);
            if (it != m_open.end())
                it->deadline.stop();
            armDeadline(tlsSocket);
        });
        connect(tlsSocket, &QSslSocket::errorOccurred, this, [this, tlsSocket](QAbstractSocket::SocketError error) {
            // A phone that does not trust the certificate yet ends the handshake: the operator
            // sees it, once per phone and kind, not once per attempt.
            const auto it = m_open.constFind(tlsSocket);
            if (m_log && it != m_open.constEnd() && error == QAbstractSocket::SslHandshakeFailedError)
                m_log->refusal(
                    QStringLiteral("tls"), it->client,
                    ServeText::LogTlsFailed.arg(it->client, ServeLog::printable(tlsSocket->errorString().toUtf8())),
                    m_clock.elapsed());
        });
        admit(tlsSocket);
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

    Entry entry;
    entry.client = ServeLog::printable(socket->peerAddress().toString().toLatin1());
    entry.group = peerGroup(socket->peerAddress());
    entry.lastActivity = ++m_tick;
    // Every connection has its idle timer, a refused one too: nothing here lives unbounded.
    entry.idle = new QTimer(socket);
    entry.idle->setSingleShot(true);
    entry.idle->setInterval(m_limits.idleMs);
    connect(entry.idle, &QTimer::timeout, socket, &QTcpSocket::abort);
    entry.idle->start();
    entry.deadline = RequestDeadline(m_limits.requestMs);
    entry.deadlineTimer = new QTimer(socket);
    entry.deadlineTimer->setSingleShot(true);
    connect(entry.deadlineTimer, &QTimer::timeout, this, [this, socket] {
        const auto it = m_open.constFind(socket);
        if (it == m_open.constEnd() || it->deadline.remaining(m_clock.elapsed()) != 0)
            armDeadline(socket);
        else if (handshaking(socket))
            socket->abort(); // no HTTP answer fits into a handshake
        else
            refuse(socket, 408, ServeText::RequestTimeout);
    });

    int live = 0;
    int ofGroup = 0;
    for (const Entry &other : std::as_const(m_open)) {
        if (other.closing)
            continue;
        ++live;
        // Logged-in phones behind one router or proxy do not use up the strangers' share.
        ofGroup += other.group == entry.group && !other.trusted ? 1 : 0;
    }
    // Room is made before the newcomer counts, so it is never the one closed for it.
    QString refusal;
    if (ofGroup >= m_limits.maxPerClient) {
        if (!evictOne(entry.group))
            refusal = ServeText::TooManyFromClient;
    } else if (live >= m_limits.maxConnections && !evictOne({})) {
        refusal = ServeText::TooManyConnections;
    }
    m_open.insert(socket, entry);
    if (!refusal.isEmpty()) {
        refuse(socket, 503, refusal);
        return;
    }

    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequests(socket); });
    const auto taken = [this, socket] {
        // The client takes what we send: that is progress, and may end a pause for
        // back-pressure.
        noteProgress(socket);
        const auto it = m_open.constFind(socket);
        if (it != m_open.constEnd() && !it->handling && !it->streaming && !it->closing &&
            unsent(socket) <= kMaxUnsentBytes && (!it->received.isEmpty() || socket->bytesAvailable() > 0))
            readRequests(socket);
    };
    connect(socket, &QTcpSocket::bytesWritten, this, taken);
#if QT_CONFIG(ssl)
    // Under TLS the answer is encrypted at once and then waits as encrypted bytes; what the
    // client takes is counted there.
    if (auto *tlsSocket = qobject_cast<QSslSocket *>(socket))
        connect(tlsSocket, &QSslSocket::encryptedBytesWritten, this, taken);
#endif
}

void ConnectionGuard::noteProgress(QTcpSocket *socket)
{
    const auto it = m_open.find(socket);
    if (it == m_open.end())
        return;
    it->lastActivity = ++m_tick;
    it->idle->start();
}

void ConnectionGuard::armDeadline(QTcpSocket *socket)
{
    const auto it = m_open.find(socket);
    if (it == m_open.end())
        return;
    const std::optional<qint64> left = it->deadline.remaining(m_clock.elapsed());
    if (left)
        it->deadlineTimer->start(int(*left));
    else
        it->deadlineTimer->stop();
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
            // Nothing more is read as a request here; drop it so it holds no memory, and no
            // deadline runs for it.
            socket->skip(socket->bytesAvailable());
            it->received.clear();
            it->deadline.stop();
            it->deadlineTimer->stop();
            return;
        }
        // One request at a time: the next is read when this one has been answered.
        if (it->handling)
            return;
        // Back-pressure: while the client leaves our answers unread, its next request waits in
        // the system's buffers, not in ours. The wait is ours, so its deadline does not run.
        if (unsent(socket) > kMaxUnsentBytes) {
            it->deadline.stop();
            armDeadline(socket);
            return;
        }
        if (!it->protocolKnown) {
            if (!sniff(socket))
                return;
            it = m_open.find(socket);
            if (handshaking(socket))
                return; // the requests come decrypted, with the next readyRead
        }
        if (it->received.size() < bound)
            it->received += socket->read(bound - it->received.size());
        if (!it->received.isEmpty()) {
            it->deadline.bytesArrived(m_clock.elapsed());
            armDeadline(socket);
        }

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
        it->deadline.requestTaken(!it->received.isEmpty(), m_clock.elapsed());
        armDeadline(socket);
        it->keepAlive = result.request.keepAlive;
        it->headOnly = result.request.method == "HEAD";
        it->handling = true;
        noteProgress(socket);
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

bool ConnectionGuard::sniff(QTcpSocket *socket)
{
    const auto it = m_open.find(socket);
#if QT_CONFIG(ssl)
    auto *tlsSocket = qobject_cast<QSslSocket *>(socket);
    if (tlsSocket && tlsSocket->mode() == QSslSocket::UnencryptedMode) {
        // A TLS connection begins with a handshake record (type 22); no HTTP method does. The
        // byte stays unread, for the handshake or the request reader.
        char first = 0;
        if (socket->peek(&first, 1) != 1)
            return false;
        it->protocolKnown = true;
        if (first == kTlsHandshakeRecord) {
            // The handshake gets the time a request gets: a stranger who starts one and stalls
            // holds the connection no longer.
            it->deadline.bytesArrived(m_clock.elapsed());
            armDeadline(socket);
            tlsSocket->startServerEncryption();
        }
        return true;
    }
#endif
    it->protocolKnown = true;
    return true;
}

bool ConnectionGuard::handshaking(QTcpSocket *socket)
{
#if QT_CONFIG(ssl)
    const auto *tlsSocket = qobject_cast<const QSslSocket *>(socket);
    return tlsSocket && tlsSocket->mode() != QSslSocket::UnencryptedMode && !tlsSocket->isEncrypted();
#else
    Q_UNUSED(socket);
    return false;
#endif
}

qint64 ConnectionGuard::unsent(const QTcpSocket *socket)
{
#if QT_CONFIG(ssl)
    if (const auto *tlsSocket = qobject_cast<const QSslSocket *>(socket))
        return tlsSocket->bytesToWrite() + tlsSocket->encryptedBytesToWrite();
#endif
    return socket->bytesToWrite();
}

bool ConnectionGuard::isEncrypted(const QTcpSocket *socket)
{
#if QT_CONFIG(ssl)
    const auto *tlsSocket = qobject_cast<const QSslSocket *>(socket);
    return tlsSocket && tlsSocket->isEncrypted();
#else
    Q_UNUSED(socket);
    return false;
#endif
}

void ConnectionGuard::respond(QTcpSocket *socket, int status, const HttpResponseWriter::Headers &headers,
                              const QByteArray &body)
{
    const auto it = m_open.find(socket);
    if (it == m_open.end() || it->closing || socket->state() != QAbstractSocket::ConnectedState)
        return;
    // After an error nothing the client sent behind the request is to be trusted: it may have
    // been meant as the refused request's body.
    const bool keepAlive = it->keepAlive && status < 400;
    const QByteArray head = HttpResponseWriter::head(status, headers, body.size(), keepAlive);
    socket->write(it->headOnly ? head : head + body);
    if (!keepAlive)
        closeAfterWriting(socket);
}

void ConnectionGuard::startStream(QTcpSocket *socket, const HttpResponseWriter::Headers &headers,
                                  const QByteArray &first, const QByteArray &owner)
{
    const auto it = m_open.find(socket);
    if (it == m_open.end() || it->closing || socket->state() != QAbstractSocket::ConnectedState)
        return;
    // Without a length the stream ends with the connection, so the head says it will close.
    const QByteArray head = HttpResponseWriter::head(200, headers, -1, false);
    if (it->headOnly) {
        socket->write(head);
        closeAfterWriting(socket);
        return;
    }
    it->streaming = true;
    it->trusted = true;
    it->owner = owner;
    socket->write(head + first);
}

void ConnectionGuard::pushToStreams(const QByteArray &text)
{
    QList<QTcpSocket *> stalled;
    for (auto it = m_open.constBegin(); it != m_open.constEnd(); ++it) {
        QTcpSocket *socket = it.key();
        if (!it->streaming || it->closing || socket->state() != QAbstractSocket::ConnectedState)
            continue;
        if (unsent(socket) > kMaxUnsentBytes)
            stalled.append(socket);
        else
            socket->write(text);
    }
    // Aborted after the loop: aborting changes m_open.
    for (QTcpSocket *socket : std::as_const(stalled))
        socket->abort();
}

void ConnectionGuard::closeStreamsOf(const QByteArray &owner)
{
    QList<QTcpSocket *> ended;
    for (auto it = m_open.constBegin(); it != m_open.constEnd(); ++it) {
        if (it->streaming && !it->closing && it->owner == owner)
            ended.append(it.key());
    }
    // The browser sees its stream end, asks again and learns that the session is over.
    for (QTcpSocket *socket : std::as_const(ended))
        closeAfterWriting(socket);
}

void ConnectionGuard::markTrusted(QTcpSocket *socket)
{
    const auto it = m_open.find(socket);
    if (it != m_open.end())
        it->trusted = true;
}

QString ConnectionGuard::clientOf(QTcpSocket *socket) const
{
    return m_open.value(socket).client;
}

int ConnectionGuard::openCount() const
{
    return static_cast<int>(m_open.size());
}

qint64 ConnectionGuard::unsentBytes() const
{
    qint64 total = 0;
    for (auto it = m_open.constBegin(); it != m_open.constEnd(); ++it)
        total += unsent(it.key());
    return total;
}

bool ConnectionGuard::evictOne(const QString &group)
{
    QString from = group;
    if (from.isEmpty()) {
        // The client holding the most connections that may be closed gives one up.
        QHash<QString, int> counts;
        int most = 0;
        for (const Entry &entry : std::as_const(m_open)) {
            if (entry.trusted || entry.closing)
                continue;
            const int count = ++counts[entry.group];
            if (count > most) {
                most = count;
                from = entry.group;
            }
        }
    }
    QTcpSocket *quietest = nullptr;
    quint64 oldest = 0;
    for (auto it = m_open.constBegin(); it != m_open.constEnd(); ++it) {
        if (it->trusted || it->closing || it->group != from)
            continue;
        if (!quietest || it->lastActivity < oldest) {
            quietest = it.key();
            oldest = it->lastActivity;
        }
    }
    if (!quietest)
        return false;
    if (m_log)
        m_log->refusal(QStringLiteral("evicted"), m_open.value(quietest).client,
                       ServeText::LogEvicted.arg(m_open.value(quietest).client), m_clock.elapsed());
    m_open.remove(quietest);
    quietest->abort();
    return true;
}

void ConnectionGuard::refuse(QTcpSocket *socket, int status, const QString &message)
{
    const auto it = m_open.find(socket);
    if (it == m_open.end() || it->closing)
        return;
    if (m_log)
        m_log->refusal(QString::number(status), it->client,
                       ServeText::LogRefused.arg(it->client).arg(status).arg(message), m_clock.elapsed());
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
        it->deadline.stop();
        it->deadlineTimer->stop();
    }
    // Closes once the answer is out; the idle timer still ends a peer that never reads it.
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState)
        socket->deleteLater();
}
