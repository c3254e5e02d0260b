#include "SimConnection.h"

#include "FaultPlan.h"
#include "ProtocolLog.h"
#include "common/Windows1252.h"
#include "link/Frame.h"

#include <QLoggingCategory>
#include <QTcpSocket>

Q_LOGGING_CATEGORY(lcSimConnection, "kurvan.sim.connection", QtWarningMsg)

SimConnection::SimConnection(int id, QTcpSocket *socket, const FaultPlan &faults, ProtocolLog &log, QObject *parent)
    : QObject(parent), m_id(id), m_socket(socket), m_faults(faults), m_log(log)
{
    m_socket->setParent(this);
    // Without this the kernel would merge small frames on its own, and the difference between
    // plain and coalesced output would be left to chance.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);

    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(0);
    connect(&m_flushTimer, &QTimer::timeout, this, &SimConnection::flushPending);
    connect(&m_dripTimer, &QTimer::timeout, this, &SimConnection::dripOneByte);

    connect(m_socket, &QTcpSocket::readyRead, this, &SimConnection::readFrames);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        m_closing = true;
        m_flushTimer.stop();
        m_dripTimer.stop();
        emit closed(this);
    });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        qCDebug(lcSimConnection) << "client" << m_id << "socket error" << error << m_socket->errorString();
    });
}

void SimConnection::sendText(const QString &text, int delayMs)
{
    if (m_closing)
        return;
    const QByteArray frame = FrameMessage(text);
    if (frame.isEmpty()) {
        qCDebug(lcSimConnection) << "text too long for a frame, dropped:" << text.size() << "characters";
        return;
    }
    auto send = [this, frame] {
        if (m_closing)
            return;
        m_log.sent(m_id, QByteArrayView(frame).sliced(3, frame.size() - kFrameOverhead));
        writeOut(frame);
    };
    if (delayMs > 0)
        QTimer::singleShot(delayMs, this, send);
    else
        send();
}

void SimConnection::sendRepeated(const QString &text, int count)
{
    if (m_closing || count < 1)
        return;
    const QByteArray frame = FrameMessage(text);
    if (frame.isEmpty())
        return;
    m_log.note(m_id, QStringLiteral("send %1 x %2 in one write").arg(count).arg(PrintableBytes(ToWindows1252(text))));
    writeOut(frame.repeated(count));
}

void SimConnection::sendRaw(const QByteArray &bytes)
{
    if (m_closing || bytes.isEmpty())
        return;
    m_log.sentRaw(m_id, bytes);
    writeOut(bytes);
}

void SimConnection::close()
{
    if (m_closing)
        return;
    flushPending();
    m_closing = true;
    m_dripTimer.stop();
    // Emits disconnected at once when nothing is left to write, later otherwise.
    m_socket->disconnectFromHost();
}

void SimConnection::readFrames()
{
    if (m_closing) {
        m_socket->readAll();
        return;
    }
    m_buffer.append(m_socket->readAll());
    while (!m_closing) {
        const std::optional<QByteArray> text = m_buffer.takeFrame();
        if (!text)
            break;
        ++m_messagesReceived;
        emit messageReceived(this, *text);
    }
}

void SimConnection::writeOut(const QByteArray &bytes)
{
    // Whatever is already queued goes first, even when the plan changed since, so the order on
    // the wire is always the order of sending.
    if (m_faults.byteByByte || !m_drip.isEmpty()) {
        m_drip.append(bytes);
        if (!m_dripTimer.isActive()) {
            m_dripTimer.start(qMax(m_faults.bytePauseMs, 0));
            dripOneByte();
        }
        return;
    }
    if (m_faults.coalesce || !m_pending.isEmpty()) {
        m_pending.append(bytes);
        if (!m_flushTimer.isActive())
            m_flushTimer.start();
        return;
    }
    m_socket->write(bytes);
    m_socket->flush();
}

void SimConnection::flushPending()
{
    m_flushTimer.stop();
    if (m_pending.isEmpty())
        return;
    m_socket->write(m_pending);
    m_socket->flush();
    m_pending.clear();
}

void SimConnection::dripOneByte()
{
    if (m_dripPos < m_drip.size()) {
        m_socket->write(m_drip.constData() + m_dripPos, 1);
        m_socket->flush();
        ++m_dripPos;
    }
    if (m_dripPos >= m_drip.size()) {
        m_drip.clear();
        m_dripPos = 0;
        m_dripTimer.stop();
    }
}
