#pragma once

#include "link/ReceiveBuffer.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <QTcpSocket>

#include <functional>

// A minimal client for driving the simulator over loopback with the project's own frame code.
// Waiting helpers run the event loop (never sleep) and give up after kWaitMs: the simulator
// answers at once on loopback, so that is a margin for a loaded machine and the sanitized build.
class SimTestClient : public QObject
{
    Q_OBJECT

public:
    static constexpr int kWaitMs = 3000;

    explicit SimTestClient(QObject *parent = nullptr);

    bool connectTo(quint16 port);
    void send(const QString &text);
    void sendBytes(const QByteArray &bytes);
    // Sends the password and waits for the login answer; true for "PasswordOK".
    bool login(const QString &password);
    // Sends "Get" + name and returns the value of the first answer to it, "<none>" when none
    // came in time.
    QString query(const QString &name);

    bool waitForCount(qsizetype count)
    {
        return waitUntil([&] { return texts.size() >= count; });
    }
    bool waitForText(const QString &text)
    {
        return waitUntil([&] { return texts.contains(text); });
    }
    bool waitForDisconnected()
    {
        return waitUntil([&] { return m_socket.state() == QAbstractSocket::UnconnectedState; });
    }

    // Every frame text received, decoded, in order; every byte received, as it came.
    QStringList texts;
    QByteArray raw;

private:
    bool waitUntil(const std::function<bool()> &done);
    void readFrames();

    QTcpSocket m_socket;
    ReceiveBuffer m_buffer;
};
