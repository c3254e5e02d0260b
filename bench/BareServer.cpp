#include "BareServer.h"

#include "BenchSupport.h"
#include "link/Frame.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {

void noDelay(int fd)
{
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

} // namespace

namespace Bare {

int connectLoopback(quint16 port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    noDelay(fd);
    return fd;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

bool readFrame(int fd, QByteArray &buffer, QByteArray &text)
{
    char chunk[64 * 1024];
    for (;;) {
        const FrameScan scan = ScanFrame(buffer);
        if (scan.complete) {
            text = buffer.mid(scan.textBegin, scan.textLength);
            buffer.remove(0, scan.consumed);
            return true;
        }
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        buffer.append(chunk, n);
    }
}

bool readBytes(int fd, qint64 count)
{
    char chunk[64 * 1024];
    while (count > 0) {
        const ssize_t n = ::recv(fd, chunk, size_t(qMin<qint64>(count, sizeof chunk)), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        count -= n;
    }
    return true;
}

} // namespace Bare

BareServer::~BareServer()
{
    m_stop = true;
    if (m_listenFd >= 0)
        ::shutdown(m_listenFd, SHUT_RDWR);
    if (m_thread.joinable())
        m_thread.detach(); // a client may still hold it in recv(); the process is ending anyway
}

quint16 BareServer::start()
{
    m_listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = 0;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(m_listenFd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(m_listenFd, 4) != 0 || getsockname(m_listenFd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return 0;
    m_thread = std::thread([this] { serve(); });
    return ntohs(address.sin_port);
}

void BareServer::serve()
{
    while (!m_stop) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        noDelay(fd);
        // Each client on a thread of its own, so that the bare client and a link can both be
        // connected and take turns.
        std::thread([this, fd] {
            serveClient(fd);
            ::close(fd);
        }).detach();
    }
}

void BareServer::serveClient(int fd)
{
    static const QByteArray stamp = "Stamp";
    static const QByteArray get = "Get";
    static const QByteArray burst = "Burst|";
    const QByteArray notice = FrameMessage(QStringLiteral("ChangeCredit"));
    QByteArray buffer;
    QByteArray text;
    // The answer to the last query, kept: a baseline should spend nothing it need not.
    QByteArray lastQuery;
    QByteArray lastAnswer;
    while (Bare::readFrame(fd, buffer, text)) {
        const std::int64_t arrived = Bench::nowNs();
        QByteArray answer;
        if (text == stamp) {
            answer = FrameMessage(QStringLiteral("Stamp|%1").arg(arrived));
        } else if (text.startsWith(get)) {
            if (text != lastQuery) {
                lastQuery = text;
                lastAnswer = FrameMessage(QString::fromLatin1(text.mid(get.size())) + QStringLiteral("|3"));
            }
            answer = lastAnswer;
        } else if (text.startsWith(burst)) {
            answer = notice.repeated(text.mid(burst.size()).toLongLong());
        }
        if (!answer.isEmpty() && !Bare::writeAll(fd, answer))
            return;
    }
}
