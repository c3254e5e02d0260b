#pragma once

#include "Frame.h"
#include "IncomingRoute.h"
#include "ReceiveBuffer.h"

#include <QObject>
#include <QString>
#include <QTimer>

class QTcpSocket;

// The one TCP connection to the jukebox: it owns the socket `Winsock1`, the receive buffer and
// the query slot (`PendingQuery`, `QueryAnswer`, `tmrQueryTimeOut`), and is the only writer to
// the socket. It knows nothing of widgets; the panel reacts to its signals.
//
// Ordering and nesting: answers are matched the moment their frame is taken from the buffer.
// Every other message (the login answers and the three notices) is queued and handed out one
// at a time, in arrival order, only while no query waits. A handler may therefore ask for
// values freely; messages that arrive meanwhile wait their turn instead of running inside the
// wait. Repeats of a queued message collapse into one at its newest place, since each handler
// re-reads the jukebox's state; unknown names are dropped at once. So the queue never holds
// more than five entries and no handler ever runs inside another's wait.
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
    // The queue keeps one entry per kind of message (two login answers, three notices).
    static constexpr qsizetype kMaxQueuedMessages = IncomingQueue::kCapacity;
    // Handlers never nest queries; this only stops a future mistake from recursing without end:
    // a query asked this deep returns its time-out value at once, without asking.
    static constexpr int kMaxQueryDepth = 4;

    explicit JukeboxLink(QObject *parent = nullptr);
    ~JukeboxLink() override;

    // Starts connecting; the outcome arrives as connected(). A port text that is not a port
    // number starts nothing (the connection dialog's time-out reports the failed attempt).
    void connectToJukebox(const QString &address, const QString &port);
    // Drops the connection or the pending attempt at once.
    void abort();
    bool isConnected() const;

    // Frames text and queues it on the socket. Without a connection nothing goes out and
    // closed() is emitted instead. A text too long for one frame is not sent.
    void SendCommand(const QString &text);

    // Asks the jukebox for a value and waits for the answer with the event loop running.
    // Returns the answer's value; after kQueryTimeout without one, defaultValue, or "TimeOut"
    // when defaultValue is empty; the same at once when the link drops during the wait; and ""
    // (after emitting closed()) when the socket is not connected to begin with.
    QString QueryValue(const QString &name, const QString &defaultValue = QString());

    // The panel's status timer: stopped for the length of each query that finds it running.
    void setStatusTimer(QTimer *timer) { m_statusTimer = timer; }
    // Test seam: a shorter time-out than kQueryTimeout.
    void setQueryTimeout(int ms) { tmrQueryTimeOut.setInterval(ms); }

    QTcpSocket *socket() const { return Winsock1; }
    const QString &pendingQuery() const { return PendingQuery; }
    const QString &queryAnswer() const { return QueryAnswer; }
    bool isWaiting() const { return m_waitDepth > 0; }
    // How many queries wait inside one another right now (0 or 1 unless a handler misbehaves).
    int waitDepth() const { return m_waitDepth; }
    qsizetype bufferedBytes() const { return m_buffer.size(); }
    qsizetype queuedMessages() const { return m_queued.size(); }

signals:
    void connected();
    // The connection is gone: the jukebox closed it, or a send or query found it down.
    void closed();
    void passwordAccepted();
    void passwordRefused();
    void changeTitle();
    void changeCredit();
    void playStatusStop();

private:
    void Winsock1_DataArrival();
    void tmrQueryTimeOut_Timer();
    void readIncoming();
    void route(const QByteArray &frameText);
    void postDispatch();
    void dispatchQueued();

    QTcpSocket *Winsock1;
    QTimer tmrQueryTimeOut;
    QTimer *m_statusTimer = nullptr;
    QString PendingQuery;
    QString QueryAnswer;
    ReceiveBuffer m_buffer;
    IncomingQueue m_queued;
    int m_waitDepth = 0;
    bool m_dispatching = false;
    bool m_dispatchPosted = false;
};
