#pragma once

#include "link/ReceiveBuffer.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class QTcpSocket;
class ProtocolLog;
struct FaultPlan;

// One client's connection: its socket, its own receive buffer and the shaping of everything
// it is sent (delay, byte-by-byte, coalescing) as the fault plan asks. What the messages mean
// is the server's business; this class only takes frames in and puts frames out.
class SimConnection : public QObject
{
    Q_OBJECT

public:
    // Takes ownership of socket. faults and log belong to the server and outlive this.
    SimConnection(int id, QTcpSocket *socket, const FaultPlan &faults, ProtocolLog &log, QObject *parent = nullptr);

    int id() const { return m_id; }
    bool isLoggedIn() const { return m_loggedIn; }
    void setLoggedIn(bool loggedIn) { m_loggedIn = loggedIn; }
    int messagesReceived() const { return m_messagesReceived; }

    // Frames text and sends it, delayMs later if asked. A text too long for a frame is dropped.
    void sendText(const QString &text, int delayMs = 0);
    // count frames of text in one write.
    void sendRepeated(const QString &text, int count);
    // Bytes outside any frame, in one write.
    void sendRaw(const QByteArray &bytes);
    // Writes what is held back and closes once it has gone; nothing is read or sent after.
    void close();

signals:
    // text is the frame's content in the wire's code page.
    void messageReceived(SimConnection *connection, const QByteArray &text);
    void closed(SimConnection *connection);

private:
    void readFrames();
    void writeOut(const QByteArray &bytes);
    void flushPending();
    void dripOneByte();

    const int m_id;
    QTcpSocket *const m_socket;
    const FaultPlan &m_faults;
    ProtocolLog &m_log;
    ReceiveBuffer m_buffer;
    QByteArray m_pending; // held back for one coalesced write
    QByteArray m_drip;    // to go out byte by byte, from m_dripPos on
    qsizetype m_dripPos = 0;
    QTimer m_flushTimer;
    QTimer m_dripTimer;
    int m_messagesReceived = 0;
    bool m_loggedIn = false;
    bool m_closing = false;
};
