#pragma once

#include "HttpRequestReader.h"
#include "HttpResponseWriter.h"
#include "RequestDeadline.h"
#include "RequestRules.h"

#include <QElapsedTimer>
#include <QHash>
#include <QTcpServer>
#include <QtNetwork/qtnetworkglobal.h>
#if QT_CONFIG(ssl)
#include <QSslConfiguration>
#endif

#include <functional>

class QTcpSocket;
class QTimer;
class ServeLog;

// The web remote's listening socket and the one owner of every connection it accepts: it reads
// requests with HttpRequestReader, hands each whole one to the handler in order (several may
// come on one connection) and writes the answers. It bounds what a stranger can make us hold:
// - at most maxConnections open at once, and at most maxPerClient from one client (an IPv4
//   address, an IPv6 /64) that have not shown a session. When full, a connection of the client
//   holding the most makes room (the quietest of them), never one that has shown a session, so
//   a heap of idle or trickling connections cannot shut out a phone;
// - a request must arrive whole within requestMs of its first byte (408), so trickling a head
//   byte by byte holds a connection only that long;
// - a connection is closed when idleMs pass without a whole request or an answer taken by the
//   client; bytes alone do not count, so neither a trickle nor a client that sends but never
//   reads keeps one open;
// - no further request is read while more than kMaxUnsentBytes of answers wait to go out
//   (back-pressure): a client that pipelines and never reads holds one buffer, not gigabytes;
// - a head beyond HttpRequestReader::kMaxHeadBytes (431) or a body beyond maxBodyBytes (413) is
//   refused as soon as it is announced, before more is buffered;
// - a stream whose browser stops reading is closed once kMaxUnsentBytes wait to go out.
// Every error answer (4xx, 5xx) ends its connection; nothing sent behind it is read.
class ConnectionGuard : public QTcpServer
{
    Q_OBJECT

public:
    struct Limits
    {
        int maxConnections = 128;
        // Of connections that have not shown a session: a phone's browser opens up to six at
        // once, and a few phones may share an address behind a router.
        int maxPerClient = 16;
        int idleMs = 30'000;
        int requestMs = 5'000;
        qsizetype maxBodyBytes = RequestRules::kMaxBodyBytes;
    };
    static constexpr qint64 kMaxUnsentBytes = 256 * 1024;
    static constexpr char kTlsHandshakeRecord = 0x16;

    // Called for each whole request; it answers with respond() or startStream() on the socket.
    using Handler = std::function<void(const HttpRequestReader::Request &, QTcpSocket *)>;

    ConnectionGuard(const Limits &limits, Handler handler, ServeLog *log = nullptr, QObject *parent = nullptr);

#if QT_CONFIG(ssl)
    // From now on a connection whose first byte begins a TLS handshake speaks TLS with this
    // configuration (certificate and key); any other speaks plain HTTP on the same port. A new
    // configuration (a certificate issued again) holds for the connections after it.
    void setTls(const QSslConfiguration &configuration)
    {
        m_tls = configuration;
    }
#endif
    // Answers the request being handled on socket: a HEAD request gets the head alone. The
    // connection stays open for the next request unless the request asked for it to close or
    // the status is an error.
    void respond(QTcpSocket *socket, int status, const HttpResponseWriter::Headers &headers, const QByteArray &body);
    // Answers with a stream of unknown length that begins with first; the connection takes no
    // more requests and belongs to the session owner (closeStreamsOf()).
    void startStream(QTcpSocket *socket, const HttpResponseWriter::Headers &headers, const QByteArray &first,
                     const QByteArray &owner);
    // Writes text to every open stream.
    void pushToStreams(const QByteArray &text);
    // Ends the streams of a session that has ended.
    void closeStreamsOf(const QByteArray &owner);
    // The connection showed a valid session: it is never closed to make room.
    void markTrusted(QTcpSocket *socket);

    // The client of a connection as the log names it (its address), also once it has closed.
    QString clientOf(QTcpSocket *socket) const;

    // True for a connection that speaks TLS and has finished its handshake.
    static bool isEncrypted(const QTcpSocket *socket);

    int openCount() const;
    // Answers accepted but not yet handed to the system, over all connections.
    qint64 unsentBytes() const;
    // The body of every error answer: {"error": message}.
    static QByteArray errorBody(const QString &message);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Entry
    {
        QTimer *idle = nullptr;
        QTimer *deadlineTimer = nullptr; // fires when the request's deadline runs out
        RequestDeadline deadline{0};
        quint64 lastActivity = 0;   // m_tick at the last progress: orders the quiet ones
        QString client;             // the address, for the log
        QString group;              // peerGroup() of the address, for the share per client
        QByteArray received;        // bytes of requests not yet handled, at most head + body bound
        QByteArray owner;           // of a stream: the session's tag
        bool protocolKnown = false; // its first byte has said TLS or plain HTTP
        bool trusted = false;
        bool streaming = false;
        bool closing = false;  // answered for the last time; anything more is dropped
        bool handling = false; // the handler runs (it may wait on the event loop)
        bool keepAlive = true; // of the request being handled
        bool headOnly = false; // the request being handled is HEAD
    };
    void admit(QTcpSocket *socket);
    void noteProgress(QTcpSocket *socket);
    // Decides from the first byte whether the connection speaks TLS and starts the handshake;
    // false while no byte has come.
    bool sniff(QTcpSocket *socket);
    static bool handshaking(QTcpSocket *socket);
    // Bytes of answers the system has not taken yet, encrypted ones included.
    static qint64 unsent(const QTcpSocket *socket);
    // Sets the connection's timer to what its deadline says.
    void armDeadline(QTcpSocket *socket);
    void readRequests(QTcpSocket *socket);
    // Closes one connection that never showed a session: the quietest of group's, or, with
    // group empty, of the client holding the most. False when there is none.
    bool evictOne(const QString &group);
    void refuse(QTcpSocket *socket, int status, const QString &message);
    void closeAfterWriting(QTcpSocket *socket);

    Limits m_limits;
    Handler m_handler;
    ServeLog *m_log;
#if QT_CONFIG(ssl)
    std::optional<QSslConfiguration> m_tls;
#endif
    QElapsedTimer m_clock;
    QHash<QTcpSocket *, Entry> m_open;
    quint64 m_tick = 0;
};
