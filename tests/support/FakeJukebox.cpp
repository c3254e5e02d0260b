#include "FakeJukebox.h"

#include "link/Frame.h"
#include "common/Windows1252.h"

FakeJukebox::FakeJukebox()
{
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        QTcpSocket *next = m_server.nextPendingConnection();
        if (m_client)
            m_client->deleteLater();
        m_client = next;
        m_buffer.clear();
        next->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(next, &QTcpSocket::readyRead, this, &FakeJukebox::onReadyRead);
    });
}

QStringList FakeJukebox::queries() const
{
    QStringList names;
    for (const QString &text : received) {
        if (text.startsWith(QStringLiteral("Get")))
            names << text.mid(3);
    }
    return names;
}

void FakeJukebox::send(const QString &text)
{
    sendRaw(FrameMessage(text));
}

void FakeJukebox::sendRaw(const QByteArray &bytes)
{
    if (!m_client)
        return;
    m_client->write(bytes);
    m_client->flush();
}

void FakeJukebox::dropClient()
{
    if (m_client)
        m_client->disconnectFromHost();
}

void FakeJukebox::setPlaying()
{
    values = {{QStringLiteral("Version"), QStringLiteral("7.1.0")},
              {QStringLiteral("Type"), QStringLiteral("Demo")},
              {QStringLiteral("Credit"), QStringLiteral("3")},
              {QStringLiteral("PlayStatus"), QStringLiteral("Spielt")},
              {QStringLiteral("SongLength"), QStringLiteral("215")},
              {QStringLiteral("CurrentSong"), QStringLiteral("D:\\Musik\\Mein_Lied.mp3")},
              {QStringLiteral("SongPos"), QStringLiteral("30")},
              {QStringLiteral("Volume"), QStringLiteral("40")}};
}

void FakeJukebox::onReadyRead()
{
    m_buffer.append(m_client->readAll());
    while (const auto frame = m_buffer.takeFrame()) {
        const QString text = FromWindows1252(*frame);
        received << text;
        emit textReceived(text);
        if (onText)
            onText(text);
        if (answerLogin && text.startsWith(QStringLiteral("Password="))) {
            send(text.mid(9) == password ? QStringLiteral("PasswordOK") : QStringLiteral("PasswordWrong"));
        } else if (text.startsWith(QStringLiteral("Get"))) {
            const QString name = text.mid(3);
            if (values.contains(name) && !withheld.contains(name))
                send(name + u'|' + values.value(name));
        }
        if (!m_client)
            return;
    }
}
