#pragma once

#include "link/ReceiveBuffer.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>

// A scripted jukebox for link and panel tests, on 127.0.0.1 and a free port. It records every
// text it gets and answers "Get" + name from `values` unless the name is withheld; `onText`
// lets a test script anything else.
class FakeJukebox : public QObject
{
    Q_OBJECT

public:
    FakeJukebox();

    quint16 port() const { return m_server.serverPort(); }
    QString portText() const { return QString::number(port()); }

    QString password = QStringLiteral("geheim");
    bool answerLogin = true;
    QHash<QString, QString> values;
    QSet<QString> withheld;
    std::function<void(const QString &)> onText;

    // Every text received, in order, and the number of "Get" + name among them.
    QStringList received;
    int asked(const QString &name) const { return received.count(QStringLiteral("Get") + name); }
    QStringList queries() const;

    void send(const QString &text);
    void sendRaw(const QByteArray &bytes);
    void dropClient();
    bool hasClient() const { return m_client && m_client->state() == QAbstractSocket::ConnectedState; }

    // A typical playing jukebox.
    void setPlaying();

signals:
    void textReceived(const QString &text);

private:
    void onReadyRead();

    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    ReceiveBuffer m_buffer;
};
