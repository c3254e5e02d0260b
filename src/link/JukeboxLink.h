#pragma once

#include "link/Frame.h"
#include "link/IncomingRoute.h"
#include "link/QueryResult.h"
#include "link/ReceiveBuffer.h"

#include <QObject>
#include <QString>
#include <QTimer>

class QEventLoop;
class QTcpSocket;

// The one TCP connection to the jukebox: it owns the socket `Winsock1`, the receive buffer and
// the query slot (`PendingQuery`, `QueryAnswer`, `tmrQueryTimeOut`), and is the only writer to
// the socket. It knows nothing of widgets; the panel reacts to its signals.
//
// Ordering and nesting: answers are matched the moment their frame is taken from the buffer.
// Every other message (the login answers and each notice of kNotices) is queued and handed out one
// at a time, in arrival order, from the event loop and only while no query waits. A handler
// may therefore ask for values freely; messages that arrive meanwhile wait their turn instead
// of running inside the wait. Repeats of a queued message collapse into one at its newest
// place, since each handler re-reads the jukebox's state; unknown names are dropped at once.
// So the queue never holds more than one entry per kind and no handler ever runs inside
// another's wait.
class JukeboxLink : public QObject
{
    Q_OBJECT

public:
    // The jukebox gets this long to answer a query.
    static constexpr int kQueryTimeout = 5000;

    // What a jukebox can make this object hold, whatever it sends. The socket is read this many
    // bytes at a time, and every frame in them is taken before the next read;
    static constexpr qint64 kReadChunk = 64 * 1024;
    // so the receive buffer never holds more than one largest frame plus one read.
    static constexpr qsizetype kMaxBufferedBytes = kMaxFrameBytes + kReadChunk;
    // The queue keeps one entry per kind of message (each login answer, each notice).
    static constexpr qsizetype kMaxQueuedMessages = IncomingQueue::kCapacity;
    // Handlers never nest queries; this only stops a future mistake from recursing without end:
    // a query asked this deep times out at once, without asking.
    static constexpr int kMaxQueryDepth = 4;

    explicit JukeboxLink(QObject *parent = nullptr);
    ~JukeboxLink() override;

    // Starts connecting; the outcome arrives as connected(). A port text that is not a port
    // number starts nothing (the connection dialog's time-out reports the failed attempt).
    void connectToJukebox(const QString &address, const QString &port);
    // Drops the connection or the pending attempt at once.
    void abort();
    bool isConnected() const;

    // Frames text and hands it to the socket. False when nothing went out: there is no
    // connection (closed() has been raised for it), or the text is too long for one frame.
    bool SendCommand(const QString &text);

    // Sends "Get" + name and waits for the answer with the event loop running. The wait ends
    // on the answer, on kQueryTimeout, or on the loss of the connection, each as it happens.
    // An answer and the time-out in the same pass of the event loop count as a time-out.
    QueryResult query(const QString &name);

    // Test seam: a shorter time-out than kQueryTimeout.
    void setQueryTimeout(int ms) { tmrQueryTimeOut.setInterval(ms); }

    bool isWaiting() const { return m_waitDepth > 0; }
    // How many queries wait inside one another right now (0 or 1 unless a handler misbehaves).
    int waitDepth() const { return m_waitDepth; }
    qsizetype bufferedBytes() const { return m_buffer.size(); }
    qsizetype queuedMessages() const { return m_queued.size(); }

signals:
    void connected();
    // The attempt ended without a connection (refused, unreachable, no such host). Raised at
    // most once per attempt; an attempt that never ends raises nothing.
    void connectFailed();
    // This connection is gone: the jukebox closed it, or a send or query found it down. Raised
    // once per connection.
    void closed();
    // A query starts and ends its wait; the panel holds its own poll for that long.
    void waitStarted();
    void waitEnded();
    void passwordAccepted();
    void passwordRefused();
    // One of the notices of kNotices, in its turn (see the ordering above).
    void notice(Incoming kind);

private:
    void Winsock1_DataArrival();
    void tmrQueryTimeOut_Timer();
    void raiseClosed();
    void readIncoming();
    void route(const QByteArray &frameText);
    void postDispatch();
    void dispatchQueued();

    QTcpSocket *Winsock1;
    QTimer tmrQueryTimeOut;
    QString PendingQuery;
    QString QueryAnswer;
    ReceiveBuffer m_buffer;
    IncomingQueue m_queued;
    QEventLoop *m_waitLoop = nullptr;
    int m_waitDepth = 0;
    bool m_closedRaised = false;
    bool m_attemptOpen = false;
    bool m_dispatching = false;
    bool m_dispatchPosted = false;
};
