// kurvan-bench-serve: the web remote (`kurvanctl serve`, a process of its own) with 100 page
// clients on its state stream, against the simulator in kurvan-bench-jukebox.
//   10 a notice leaving the simulator until one page client has the new state (median, 99th
//      percentile), beside a bare socket's one-way trip in the same run
//   11 until all 100 page clients have it (fan-out)
//   12 CPU and resident memory of serve over 60 s with 100 page clients, beside serve with none
//   13 resident memory of serve while 16 clients pipeline requests and never read the answers,
//      beside serve idle
//   14 requests per second one honest client gets while one address holds its whole share of
//      trickling connections, beside the same client alone
// Prints ROW and NOTE lines for bench/run.sh. --quick: small counts and 5 s.

#include "BareServer.h"
#include "BenchSupport.h"
#include "JukeboxProcess.h"
#include "link/Frame.h"

#include <QCoreApplication>
#include <QProcess>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fcntl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

struct Settings
{
    int clients = 100;
    int changes = 200;
    int idleSeconds = 60;
};

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "kurvan-bench-serve: %s\n", what);
    std::exit(1);
}

// Reads into buffer until it contains text or timeoutMs pass; false on time-out or close.
bool readUntil(int fd, QByteArray &buffer, QByteArrayView text, int timeoutMs = 10'000)
{
    const std::int64_t end = Bench::nowNs() + std::int64_t(timeoutMs) * 1'000'000;
    char chunk[16384];
    while (!buffer.contains(text)) {
        const int left = int((end - Bench::nowNs()) / 1'000'000);
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, left) <= 0)
            return false;
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0)
            return false;
        buffer.append(chunk, n);
    }
    return true;
}

QByteArray login(quint16 port)
{
    const int fd = Bare::connectLoopback(port);
    const QByteArray body = "{\"password\":\"\"}";
    Bare::writeAll(fd, "POST /api/login HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                       "Content-Length: " +
                           QByteArray::number(body.size()) + "\r\n\r\n" + body);
    QByteArray answer;
    if (!readUntil(fd, answer, "{\"ok\":true}"))
        fail("login refused");
    ::close(fd);
    const qsizetype start = answer.indexOf("kurvan_session=");
    return answer.mid(start, answer.indexOf(';', start) - start);
}

int openStream(quint16 port, const QByteArray &cookie)
{
    const int fd = Bare::connectLoopback(port);
    Bare::writeAll(fd, "GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\nCookie: " + cookie + "\r\n\r\n");
    QByteArray first;
    if (fd < 0 || !readUntil(fd, first, "\"phase\":\"connected\""))
        fail("no state stream");
    return fd;
}

// A port no one listens on now, for serve to take (the kernel picks it; released at once).
quint16 freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), size) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) != 0)
        fail("no free port");
    ::close(fd);
    return ntohs(address.sin_port);
}

// A blocking connection to 127.0.0.1:port from the loopback address local; -1 on failure.
int connectFrom(const char *local, quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    ::inet_pton(AF_INET, local, &from.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&from), sizeof from) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    return fd;
}

// Clients that pipeline requests for the page's script and never read: each writes what the
// system takes without blocking. They stay open until the object goes.
struct GreedyClients
{
    GreedyClients(int count, quint16 port)
    {
        const QByteArray request = "GET /app.js HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        const QByteArray burst = request.repeated(4096); // some 20 MiB of answers asked for
        for (int i = 0; i < count; ++i) {
            const int fd = Bare::connectLoopback(port);
            if (fd < 0)
                fail("a greedy client could not connect");
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            (void)::write(fd, burst.constData(), size_t(burst.size()));
            fds.push_back(fd);
        }
    }
    ~GreedyClients()
    {
        for (int fd : fds)
            ::close(fd);
    }
    std::vector<int> fds;
};

// One address holding count connections, each sending a byte of a head now and then and coming
// back whenever the service closes it; on a thread of its own until stopped.
class Trickle
{
public:
    Trickle(int count, quint16 port)
        : m_thread([this, count, port] {
              const QByteArray head = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n";
              std::vector<int> fds(size_t(count), -1);
              for (int tick = 0; !m_stop; ++tick) {
                  for (int &fd : fds) {
                      if (fd < 0)
                          fd = connectFrom("127.0.0.2", port);
                      if (fd >= 0 && ::send(fd, head.constData() + tick % head.size(), 1, MSG_NOSIGNAL) != 1) {
                          ::close(fd);
                          fd = -1;
                      }
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(20));
              }
              for (int fd : fds)
                  if (fd >= 0)
                      ::close(fd);
          })
    {
    }
    ~Trickle()
    {
        m_stop = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_stop = false;
    std::thread m_thread;
};

// Sequential requests for the state over one kept-alive connection from 127.0.0.3 for the
// given time; the number answered per second.
double requestsPerSecond(quint16 port, const QByteArray &cookie, int milliseconds)
{
    const int fd = connectFrom("127.0.0.3", port);
    if (fd < 0)
        fail("the honest client could not connect");
    const QByteArray request = "GET /api/state HTTP/1.1\r\nHost: 127.0.0.1\r\nCookie: " + cookie + "\r\n\r\n";
    const std::int64_t end = Bench::nowNs() + std::int64_t(milliseconds) * 1'000'000;
    const std::int64_t start = Bench::nowNs();
    int answered = 0;
    QByteArray buffer;
    while (Bench::nowNs() < end) {
        if (!Bare::writeAll(fd, request) || !readUntil(fd, buffer, "\"volume\""))
            fail("the honest client was not served");
        buffer.clear();
        ++answered;
    }
    const double seconds = double(Bench::nowNs() - start) / 1e9;
    ::close(fd);
    return answered / seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Settings s;
    if (app.arguments().contains(QStringLiteral("--quick"))) {
        s.changes = 30;
        s.idleSeconds = 5;
    }

    JukeboxProcess jukebox;
    if (!jukebox.start(QStringLiteral(KURVAN_BENCH_JUKEBOX)))
        return 1;

    // The bench jukebox has the empty password; serve then keeps to 127.0.0.1 by itself.
    const quint16 webPort = freePort();
    QProcess serve;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KURVAN_PASSWORD"), QString());
    serve.setProcessEnvironment(env);
    serve.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    serve.start(QStringLiteral(KURVANCTL_PATH),
                {QStringLiteral("serve"), QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                 QStringLiteral("--port"), QString::number(jukebox.simPort()), QStringLiteral("--listen"),
                 QStringLiteral("127.0.0.1:%1").arg(webPort)});
    if (!serve.waitForReadyRead(10'000))
        fail("serve did not start");
    const qint64 pid = serve.processId();
    QThread::msleep(500);

    // 10, baseline: serve alone, polling the jukebox, no page client.
    const auto idleCost = [&] {
        const double cpu0 = Bench::cpuSecondsOf(pid);
        QThread::sleep(s.idleSeconds);
        return std::make_pair(Bench::cpuSecondsOf(pid) - cpu0, Bench::statusKb(pid, "VmRSS"));
    };
    const auto [aloneCpu, aloneKb] = idleCost();

    const QByteArray cookie = login(webPort);
    QList<int> streams;
    for (int i = 0; i < s.clients; ++i)
        streams << openStream(webPort, cookie);

    // 8 and 9: each change is a new title the jukebox announces; a client has it when its stream
    // carries the new path.
    const int bare = Bare::connectLoopback(jukebox.barePort());
    const QByteArray stamp = FrameMessage(QStringLiteral("Stamp"));
    QList<QByteArray> buffers(streams.size());
    QList<double> first, all, oneWay;
    for (int i = 0; i < s.changes; ++i) {
        const QStringList burst = jukebox.command(QStringLiteral("burst 1")).split(u'\t');
        const std::int64_t sent = burst.value(0).section(u' ', 1).toLongLong();
        const QByteArray path = burst.value(2).toUtf8().replace("\\", "\\\\");
        std::int64_t firstAt = 0;
        for (qsizetype c = 0; c < streams.size(); ++c) {
            if (!readUntil(streams.at(c), buffers[c], path))
                fail("a page client did not get the new title");
            const std::int64_t at = Bench::nowNs();
            if (c == 0)
                firstAt = at;
            buffers[c] = buffers[c].mid(buffers[c].indexOf(path) + path.size());
            if (c == streams.size() - 1)
                all << double(at - sent);
        }
        first << double(firstAt - sent);

        QByteArray buffer, text;
        const std::int64_t t0 = Bench::nowNs();
        if (!Bare::writeAll(bare, stamp) || !Bare::readFrame(bare, buffer, text))
            fail("bare stamp failed");
        oneWay << double(text.mid(text.indexOf('|') + 1).toLongLong() - t0);
    }
    ::close(bare);

    // 10: the same time with every page client connected and following.
    const auto [busyCpu, busyKb] = idleCost();
    for (int fd : std::as_const(streams))
        ::close(fd);

    // 13: what clients that never read make serve hold, against serve idle (measured first).
    qint64 greedyKb = 0;
    {
        const GreedyClients greedy(16, webPort);
        QThread::sleep(3);
        greedyKb = Bench::statusKb(pid, "VmRSS");
    }
    // 14: an honest client's rate alone, then beside one address holding its whole share.
    const int rateMs = s.idleSeconds * 100;
    const double alone = requestsPerSecond(webPort, cookie, rateMs);
    double crowded = 0;
    {
        const Trickle trickle(16, webPort);
        QThread::msleep(1000);
        crowded = requestsPerSecond(webPort, cookie, rateMs);
    }
    serve.terminate();
    serve.waitForFinished(5000);

    const Bench::Summary f = Bench::summarize(first);
    const Bench::Summary a = Bench::summarize(all);
    const Bench::Summary w = Bench::summarize(oneWay);
    const QString n = QString::number(s.clients);
    Bench::printRow({QStringLiteral("10 Web remote: notice to page client, median of %1").arg(f.count),
                     Bench::micros(f.median), QStringLiteral("bare one-way trip"), Bench::micros(w.median),
                     f.median / w.median, QStringLiteral("< 100 ms"), Bench::verdict(f.median < 100e6)});
    Bench::printRow({QStringLiteral("10 Web remote: notice to page client, 99th percentile"), Bench::micros(f.p99),
                     QStringLiteral("bare one-way trip"), Bench::micros(w.p99), f.p99 / w.p99,
                     QStringLiteral("< 250 ms"), Bench::verdict(f.p99 < 250e6)});
    Bench::printRow({QStringLiteral("11 Web remote: notice to all %1 page clients, median").arg(n),
                     Bench::micros(a.median), QStringLiteral("to the first of them"), Bench::micros(f.median),
                     a.median / f.median, QStringLiteral("< 250 ms"), Bench::verdict(a.median < 250e6)});
    Bench::printRow({QStringLiteral("12 Web remote: CPU over %1 s with %2 page clients").arg(s.idleSeconds).arg(n),
                     Bench::seconds(busyCpu), QStringLiteral("serve with no page client"), Bench::seconds(aloneCpu),
                     aloneCpu > 0 ? busyCpu / aloneCpu : 0, QStringLiteral("< 2 % of a core"),
                     Bench::verdict(busyCpu < 0.02 * s.idleSeconds)});
    Bench::printRow({QStringLiteral("12 Web remote: resident memory with %1 page clients").arg(n),
                     Bench::mebibytes(busyKb), QStringLiteral("serve with no page client"), Bench::mebibytes(aloneKb),
                     aloneKb > 0 ? double(busyKb) / double(aloneKb) : 0, QStringLiteral("< 64 MiB"),
                     Bench::verdict(busyKb < 64 * 1024)});
    Bench::printRow({QStringLiteral("13 Web remote: resident memory while 16 clients pipeline and never read"),
                     Bench::mebibytes(greedyKb), QStringLiteral("serve idle"), Bench::mebibytes(aloneKb),
                     aloneKb > 0 ? double(greedyKb) / double(aloneKb) : 0, QStringLiteral("< 2x idle"),
                     Bench::verdict(greedyKb < 2 * aloneKb)});
    Bench::printRow({QStringLiteral("14 Web remote: requests per second to one client beside 16 trickling ones"),
                     QString::number(crowded, 'f', 0), QStringLiteral("the same client alone"),
                     QString::number(alone, 'f', 0), alone > 0 ? crowded / alone : 0, QStringLiteral(">= 0.5x alone"),
                     Bench::verdict(crowded >= 0.5 * alone)});
    Bench::printNote(
        QStringLiteral("web remote: all %1 page clients had the new title after %2 at the 99th percentile; "
                       "each change is a new title the simulator announces, which serve reads back "
                       "(CurrentSong, SongLength) before it pushes")
            .arg(n, Bench::micros(a.p99)));
    return 0;
}
