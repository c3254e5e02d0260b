#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class QTcpSocket;

// The baseline for the cost of waiting: a query that waits by spinning. It sends "Get" + name
// and then loops without pause: process pending events once, stop when the one-shot time-out
// timer is no longer active or when an answer has been stored. It never blocks, so it keeps a
// core busy for as long as it waits. Kept here, not in the program, as the yardstick that
// JukeboxLink::query, which blocks on the event queue, is measured against.
class SpinningQuery : public QObject
{
    Q_OBJECT

public:
    // socket: connected and logged in; answers are read from it while the query waits.
    explicit SpinningQuery(QTcpSocket *socket, QObject *parent = nullptr);

    void setTimeout(int ms) { m_timeOut.setInterval(ms); }
    // The answer's value, or "TimeOut" when none came in time.
    QString query(const QString &name);

private:
    void dataArrival();

    QTcpSocket *m_socket;
    QTimer m_timeOut;
    QByteArray m_buffer;
    QString m_pendingQuery;
    QString m_queryAnswer;
};
