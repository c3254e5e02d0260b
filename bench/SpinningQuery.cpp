#include "SpinningQuery.h"

#include "common/Windows1252.h"
#include "link/Frame.h"
#include "link/MessageSplit.h"
#include "link/Messages.h"

#include <QCoreApplication>
#include <QTcpSocket>

SpinningQuery::SpinningQuery(QTcpSocket *socket, QObject *parent) : QObject(parent), m_socket(socket)
{
    m_timeOut.setSingleShot(true);
    m_timeOut.setInterval(5000);
    // As precise as the link's timer: a coarse one may end the wait 5 % early.
    m_timeOut.setTimerType(Qt::PreciseTimer);
    connect(&m_timeOut, &QTimer::timeout, &m_timeOut, &QTimer::stop);
    connect(m_socket, &QTcpSocket::readyRead, this, &SpinningQuery::dataArrival);
}

QString SpinningQuery::query(const QString &name)
{
    m_pendingQuery = name;
    m_socket->write(FrameMessage(Msg::GetPrefix + name));
    QCoreApplication::processEvents();
    m_timeOut.start();
    QString result;
    for (;;) {
        QCoreApplication::processEvents();
        if (!m_timeOut.isActive()) {
            result = Msg::TimeOut;
            break;
        }
        if (!m_queryAnswer.isEmpty()) {
            result = m_queryAnswer;
            break;
        }
    }
    m_timeOut.stop();
    m_queryAnswer.clear();
    return result;
}

void SpinningQuery::dataArrival()
{
    m_buffer += m_socket->readAll();
    for (;;) {
        const qsizetype before = m_buffer.size();
        const QByteArray text = ExtractMessage(m_buffer);
        if (m_buffer.size() == before)
            return;
        const MessageParts parts = SplitMessage(FromWindows1252(text));
        if (parts.name == m_pendingQuery)
            m_queryAnswer = parts.value;
    }
}
