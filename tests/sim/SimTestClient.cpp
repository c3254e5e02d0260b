#include "SimTestClient.h"

#include "common/Windows1252.h"
#include "link/Frame.h"
#include "link/Messages.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QTimer>

using namespace Qt::StringLiterals;

SimTestClient::SimTestClient(QObject *parent) : QObject(parent)
{
    m_socket.setProxy(QNetworkProxy::NoProxy);
    connect(&m_socket, &QTcpSocket::readyRead, this, &SimTestClient::readFrames);
}

bool SimTestClient::connectTo(quint16 port)
{
    m_socket.connectToHost(QHostAddress::LocalHost, port);
    if (!m_socket.waitForConnected(kWaitMs))
        return false;
    // As the panel's link does: each small frame goes out at once.
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    return true;
}

void SimTestClient::send(const QString &text)
{
    sendBytes(FrameMessage(text));
}

void SimTestClient::sendBytes(const QByteArray &bytes)
{
    m_socket.write(bytes);
    m_socket.flush();
}

bool SimTestClient::login(const QString &password)
{
    const qsizetype before = texts.size();
    send(Msg::PasswordPrefix + password);
    if (!waitForCount(before + 1))
        return false;
    return texts.at(before) == Msg::PasswordOK;
}

QString SimTestClient::query(const QString &name)
{
    const qsizetype before = texts.size();
    const QString head = name + u'|';
    send(Msg::GetPrefix + name);
    QString value = u"<none>"_s;
    waitUntil([&] {
        for (qsizetype i = before; i < texts.size(); ++i) {
            if (texts.at(i).startsWith(head)) {
                value = texts.at(i).mid(head.size());
                return true;
            }
        }
        return false;
    });
    return value;
}

bool SimTestClient::waitUntil(const std::function<bool()> &done)
{
    // Runs the event loop until something arrives or the socket changes state, then looks
    // again; unlike a polling wait it reacts to every single byte at once.
    const QDeadlineTimer deadline(kWaitMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(deadline.remainingTime(), &loop, &QEventLoop::quit);
        connect(&m_socket, &QTcpSocket::readyRead, &loop, &QEventLoop::quit, Qt::QueuedConnection);
        connect(&m_socket, &QTcpSocket::stateChanged, &loop, &QEventLoop::quit, Qt::QueuedConnection);
        loop.exec();
    }
    return true;
}

void SimTestClient::readFrames()
{
    const QByteArray bytes = m_socket.readAll();
    raw += bytes;
    m_buffer.append(bytes);
    while (const std::optional<QByteArray> text = m_buffer.takeFrame())
        texts.append(FromWindows1252(*text));
}
