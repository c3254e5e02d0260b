#include "link/JukeboxLink.h"

#include "common/Windows1252.h"
#include "link/Frame.h"
#include "link/Messages.h"

#include <QEventLoop>
#include <QLoggingCategory>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <utility>

Q_LOGGING_CATEGORY(lcLink, "kurvan.link", QtWarningMsg)

namespace {

// What the socket itself may hold unread. When it is full, the kernel's window makes a
// flooding jukebox wait instead of this process growing.
constexpr qint64 kSocketReadBuffer = 256 * 1024;

QString forLog(const QString &text)
{
    return text.startsWith(Msg::PasswordPrefix) ? Msg::PasswordPrefix + QStringLiteral("***") : text;
}

} // namespace

JukeboxLink::JukeboxLink(QObject *parent) : QObject(parent), Winsock1(new QTcpSocket(this)), tmrQueryTimeOut(this)
{
    Winsock1->setObjectName(QStringLiteral("Winsock1"));
    // A remote on the local network goes straight to the jukebox, never through a proxy.
    Winsock1->setProxy(QNetworkProxy::NoProxy);
    Winsock1->setReadBufferSize(kSocketReadBuffer);

    tmrQueryTimeOut.setObjectName(QStringLiteral("tmrQueryTimeOut"));
    tmrQueryTimeOut.setInterval(kQueryTimeout);
    tmrQueryTimeOut.setSingleShot(true);
    // A coarse timer may fire up to 5 % early; the jukebox is promised the full five seconds.
    tmrQueryTimeOut.setTimerType(Qt::PreciseTimer);

    connect(Winsock1, &QTcpSocket::connected, this, [this] {
        // Small request/answer frames: send each at once instead of waiting to coalesce.
        Winsock1->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_attemptOpen = false;
        emit connected();
    });
    connect(Winsock1, &QTcpSocket::errorOccurred, this, [this] {
        if (std::exchange(m_attemptOpen, false))
            emit connectFailed();
    });
    connect(Winsock1, &QTcpSocket::disconnected, this, &JukeboxLink::raiseClosed);
    connect(Winsock1, &QTcpSocket::readyRead, this, &JukeboxLink::Winsock1_DataArrival);
    connect(&tmrQueryTimeOut, &QTimer::timeout, this, &JukeboxLink::tmrQueryTimeOut_Timer);
}

JukeboxLink::~JukeboxLink()
{
    Winsock1->disconnect(this);
    Winsock1->abort();
}

void JukeboxLink::connectToJukebox(const QString &address, const QString &port)
{
    bool ok = false;
    const uint number = port.trimmed().toUInt(&ok);
    if (!ok || number == 0 || number > 65535) {
        qCDebug(lcLink) << "not a port number, no attempt:" << port;
        return;
    }
    m_attemptOpen = true;
    Winsock1->connectToHost(address, static_cast<quint16>(number));
}

void JukeboxLink::abort()
{
    Winsock1->abort();
}

bool JukeboxLink::isConnected() const
{
    return !m_closedRaised && Winsock1->state() == QAbstractSocket::ConnectedState;
}

void JukeboxLink::raiseClosed()
{
    if (m_waitLoop)
        m_waitLoop->quit(); // a gone link brings no answer: the wait ends now
    if (std::exchange(m_closedRaised, true))
        return;
    qCDebug(lcLink) << "connection gone";
    emit closed();
}

bool JukeboxLink::SendCommand(const QString &text)
{
    if (!isConnected()) {
        raiseClosed();
        return false;
    }
    const QByteArray frame = FrameMessage(text);
    if (frame.isEmpty()) {
        qCWarning(lcLink) << "text too long for one frame, not sent";
        return false;
    }
    qCDebug(lcLink) << "send" << forLog(text);
    Winsock1->write(frame);
    // Hand the frame to the kernel now rather than on the next pass of the event loop: no
    // events are processed here, so no handler can slip in between a click and its frame.
    Winsock1->flush();
    return true;
}

QueryResult JukeboxLink::query(const QString &name)
{
    if (!isConnected()) {
        raiseClosed();
        return {QueryOutcome::LinkDown, {}};
    }
    if (m_waitDepth >= kMaxQueryDepth)
        return {QueryOutcome::TimedOut, {}};

    emit waitStarted();
    ++m_waitDepth;
    PendingQuery = name;
    QEventLoop loop;
    QEventLoop *const outer = std::exchange(m_waitLoop, &loop);
    if (SendCommand(Msg::GetPrefix + name)) {
        tmrQueryTimeOut.start();
        // The time-out, the answer and the loss of the link each quit this loop the moment they
        // happen, however the platform delivers them; nothing else needs to arrive to wake it.
        if (QueryAnswer.isEmpty() && isConnected())
            loop.exec();
    }

    // Timed out unless answered or the link is gone. An answer counts only while the time-out
    // has not struck (one in the same pass is too late) and only if no query nested inside this
    // wait took over the slot. The program ending also leaves this wait, as timed out.
    QueryResult result;
    if (PendingQuery == name && tmrQueryTimeOut.isActive() && !QueryAnswer.isEmpty())
        result = {QueryOutcome::Answered, QueryAnswer};
    else if (!isConnected())
        result = {QueryOutcome::LinkDown, {}};

    tmrQueryTimeOut.stop();
    QueryAnswer.clear();
    // A late answer must not be taken for the next query's.
    PendingQuery.clear();
    m_waitLoop = outer;
    --m_waitDepth;
    if (outer)
        outer->quit(); // the slot is gone: the query that waits outside this one has timed out
    qCDebug(lcLink) << "query" << name << "->" << static_cast<int>(result.outcome) << result.value;
    emit waitEnded();
    if (!m_queued.isEmpty())
        postDispatch();
    return result;
}

void JukeboxLink::tmrQueryTimeOut_Timer()
{
    tmrQueryTimeOut.stop();
    if (m_waitLoop)
        m_waitLoop->quit();
}

void JukeboxLink::Winsock1_DataArrival()
{
    readIncoming();
    // Handlers never run inside this slot: the socket does not signal new data while one of its
    // slots still runs, and a handler's queries must hear their answers.
    if (!m_queued.isEmpty())
        postDispatch();
}

void JukeboxLink::readIncoming()
{
    while (Winsock1->bytesAvailable() > 0) {
        m_buffer.append(Winsock1->read(kReadChunk));
        while (const std::optional<QByteArray> text = m_buffer.takeFrame())
            route(*text);
    }
}

void JukeboxLink::route(const QByteArray &frameText)
{
    const QString text = FromWindows1252(frameText);
    qCDebug(lcLink) << "received" << text;
    const Route route = RouteMessage(text, PendingQuery);
    switch (route.kind) {
    case Route::Kind::Answer:
        // An empty value is stored too and leaves the query waiting.
        QueryAnswer = route.answer;
        if (!QueryAnswer.isEmpty() && m_waitLoop)
            m_waitLoop->quit();
        break;
    case Route::Kind::Message:
        m_queued.push(route.message);
        Q_ASSERT(m_queued.size() <= kMaxQueuedMessages);
        break;
    case Route::Kind::Ignored:
        break;
    }
}

void JukeboxLink::postDispatch()
{
    if (m_dispatchPosted)
        return;
    m_dispatchPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_dispatchPosted = false;
            dispatchQueued();
        },
        Qt::QueuedConnection);
}

void JukeboxLink::dispatchQueued()
{
    // Inside a wait the message keeps its place; the wait's end posts this again.
    if (m_waitDepth > 0 || m_dispatching)
        return;
    m_dispatching = true;
    while (const std::optional<Incoming> next = m_queued.take()) {
        switch (*next) {
        case Incoming::PasswordOK:
            emit passwordAccepted();
            break;
        case Incoming::PasswordWrong:
            emit passwordRefused();
            break;
        default:
            emit notice(*next);
            break;
        }
    }
    m_dispatching = false;
}
