#pragma once

#include "HttpRequestReader.h"
#include "HttpResponseWriter.h"
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

// The web remote's listening socket and the one owner of every connection it accepts: it reads
// requests with HttpRequestReader, hands each whole one to the handler in order (several may
// come on one connection) and writes the answers. It bounds what a stranger can make us hold:
// - at most maxConnections open at once; when full, the connection that has been quiet the
//   longest and has never shown the password makes room for the new one, so a heap of idle
//   connections cannot shut out a phone;
// - a connection quiet for idleMs is closed (live state streams write a heartbeat well within);
// - a head beyond HttpRequestReader::kMaxHeadBytes (431) or a body beyond maxBodyBytes (413) is
//   refused as soon as it is announced, and the connection closed before more is buffered;
// - a stream whose browser stops reading is closed once kMaxUnsentBytes wait to go out.
class ConnectionGuard : public QTcpServer
{
    Q_OBJECT

public:
    struct Limits
    {
        int maxConnections = 128;
        int idleMs = 30'000;
        qsizetype maxBodyBytes = RequestRules::kMaxBodyBytes;
    };
    static constexpr qint64 kMaxUnsentBytes = 256 * 1024;

    // Called for each whole request; it answers with respond() or startStream() on the socket.
    using Handler = std::function<void(const HttpRequestReader::Request &, QTcpSocket *)>;

    ConnectionGuard(const Limits &limits, Handler handler, QObject *parent = nullptr);

#if QT_CONFIG(ssl)
    // From now on every connection speaks TLS with this configuration (certificate and key).
    void setTls(const QSslConfiguration &configuration)
    {
        m_tls = configuration;
    }
#endif
    // Answers the request being handled on socket; the connection stays open for the next one
    // unless the request asked for it to close.
    void respond(QTcpSocket *socket, int status, const HttpResponseWriter::Headers &headers, const QByteArray &body);
    // Answers with a stream of unknown length that begins with first; the connection is now
    // trusted (it showed the password) and takes no more requests.
    void startStream(QTcpSocket *socket, const HttpResponseWriter::Headers &headers, const QByteArray &first);
    // Writes text to every open stream.
    void pushToStreams(const QByteArray &text);

    int openCount() const
    {
        return static_cast<int>(m_open.size());
    }
    // The body of every error answer: {"error": message}.
    static QByteArray errorBody(const QString &message);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Entry
    {
        QTimer *idle = nullptr;
        qint64 lastActivity = 0;
        QByteArray received; // bytes of requests not yet handled, at most head + body bound
        bool trusted = false;
        bool streaming = false;
        bool closing = false;  // answered for the last time; anything more is dropped
        bool handling = false; // the handler runs (it may wait on the event loop)
        bool keepAlive = true; // of the request being handled
    };
    void admit(QTcpSocket *socket);
    void noteActivity(QTcpSocket *socket);
    void readRequests(QTcpSocket *socket);
    bool evictOne();
    void refuse(QTcpSocket *socket, int status, const QString &message);
    void closeAfterWriting(QTcpSocket *socket);

    Limits m_limits;
    Handler m_handler;
#if QT_CONFIG(ssl)
    std::optional<QSslConfiguration> m_tls;
#endif
    QElapsedTimer m_clock;
    QHash<QTcpSocket *, Entry> m_open;
};
