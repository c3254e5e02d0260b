#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QTcpServer>
#include <QtNetwork/qtnetworkglobal.h>
#if QT_CONFIG(ssl)
#include <QSslConfiguration>
#endif

class QTcpSocket;
class QTimer;

// The listening socket in front of the HTTP server. Qt's HTTP server of Qt 6.4 has no limits of
// its own: it keeps any number of connections open for ever and reads a request of any size
// into memory. This guard bounds what a stranger can make us hold:
// - at most maxConnections open at once; when full, the connection that has been quiet the
//   longest and has never shown the password makes room for the new one, so a heap of idle
//   connections cannot shut out a phone;
// - a connection quiet for idleMs is closed (live state streams write a heartbeat well within);
// - a request larger than maxRequestBytes (headers and body) gets a 413 and the connection is
//   closed before Qt has buffered more.
class ConnectionGuard : public QTcpServer
{
    Q_OBJECT

public:
    struct Limits
    {
        int maxConnections = 128;
        int idleMs = 30'000;
        qint64 maxRequestBytes = 16 * 1024;
    };

    explicit ConnectionGuard(const Limits &limits, QObject *parent = nullptr);

#if QT_CONFIG(ssl)
    // From now on every connection speaks TLS with this configuration (certificate and key).
    void setTls(const QSslConfiguration &configuration)
    {
        m_tls = configuration;
    }
#endif
    // A connection that has shown the password (its cookie) is no longer evicted to make room.
    void markTrusted(QTcpSocket *socket);
    int openCount() const
    {
        return static_cast<int>(m_open.size());
    }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Entry
    {
        QTimer *idle = nullptr;
        qint64 lastActivity = 0;
        qint64 requestBytes = 0;
        bool trusted = false;
    };
    void noteActivity(QTcpSocket *socket);
    void onReadyRead(QTcpSocket *socket);
    bool evictOne();
    static void refuse(QTcpSocket *socket, QByteArrayView status, const QString &message);

    void admit(QTcpSocket *socket);

    Limits m_limits;
#if QT_CONFIG(ssl)
    std::optional<QSslConfiguration> m_tls;
#endif
    QElapsedTimer m_clock;
    QHash<QTcpSocket *, Entry> m_open;
};
