// kurvan-bench-tls: what TLS costs the web remote, each figure beside the same over plain HTTP
// in the same run. Two `kurvanctl serve` processes follow one simulator: one plain on loopback,
// one with --tls and its own authority.
//   17 a new connection until the first /api/state answer: TLS handshake included, against
//      plain HTTP (median)
//   18 a notice leaving the simulator until a page client has it, over TLS against over plain
//      HTTP; both clients follow the same notices (median)
//   19 the first start (authority and certificate made) until the start message, against a
//      later start that finds them
// Prints ROW lines for bench/run.sh. --quick: small counts.

#include "BenchSupport.h"
#include "JukeboxProcess.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr int kWaitMs = 10'000;

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "kurvan-bench-tls: %s\n", what);
    std::exit(1);
}

quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost))
        fail("no free port");
    return probe.serverPort();
}

// One serve process on 127.0.0.1; with a state folder it speaks TLS with its own authority.
struct Serve
{
    QProcess process;
    quint16 port = 0;

    // Starts serve and waits for its start message; the nanoseconds that took.
    std::int64_t start(quint16 simPort, const QString &state)
    {
        port = freePort();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KURVAN_PASSWORD"), QString());
        QStringList arguments{QStringLiteral("serve"),
                              QStringLiteral("--host"),
                              QStringLiteral("127.0.0.1"),
                              QStringLiteral("--port"),
                              QString::number(simPort),
                              QStringLiteral("--listen"),
                              QStringLiteral("127.0.0.1:%1").arg(port)};
        if (!state.isEmpty()) {
            env.insert(QStringLiteral("STATE_DIRECTORY"), state);
            arguments << QStringLiteral("--tls");
        }
        process.setProcessEnvironment(env);
        const std::int64_t t0 = Bench::nowNs();
        process.start(QStringLiteral(KURVANCTL_PATH), arguments);
        QByteArray out;
        while (!out.contains("\n  ")) {
            if (!process.waitForReadyRead(kWaitMs))
                fail("serve did not start");
            out += process.readAllStandardOutput();
        }
        return Bench::nowNs() - t0;
    }
    ~Serve()
    {
        process.terminate();
        process.waitForFinished(5000);
    }
};

// A connection to serve, over TLS when trusted is set (verifying it as a browser would).
std::unique_ptr<QSslSocket> connectTo(quint16 port, const QSslCertificate &trusted)
{
    auto socket = std::make_unique<QSslSocket>();
    if (trusted.isNull()) {
        socket->connectToHost(QHostAddress::LocalHost, port);
        if (!socket->waitForConnected(kWaitMs))
            fail("no connection");
    } else {
        QSslConfiguration configuration = socket->sslConfiguration();
        configuration.setCaCertificates({trusted});
        socket->setSslConfiguration(configuration);
        socket->connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
        if (!socket->waitForEncrypted(kWaitMs))
            fail("no TLS connection");
    }
    return socket;
}

// Sends a request and reads until the buffer holds text.
bool ask(QSslSocket &socket, const QByteArray &request, QByteArray &buffer, QByteArrayView text)
{
    if (!request.isEmpty())
        socket.write(request);
    while (!buffer.contains(text)) {
        if (!socket.waitForReadyRead(kWaitMs))
            return false;
        buffer += socket.readAll();
    }
    return true;
}

QByteArray login(quint16 port, const QSslCertificate &trusted)
{
    auto socket = connectTo(port, trusted);
    const QByteArray body = "{\"password\":\"\"}";
    QByteArray answer;
    if (!ask(*socket,
             "POST /api/login HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
                 "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) +
                 "\r\n\r\n" + body,
             answer, "{\"ok\":true}"))
        fail("login refused");
    const qsizetype start = answer.indexOf("kurvan_session=");
    return answer.mid(start, answer.indexOf(';', start) - start);
}

QByteArray get(const QByteArray &path, quint16 port, const QByteArray &cookie)
{
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) + "\r\nCookie: " + cookie +
           "\r\n\r\n";
}

// A new connection, its handshake and the first answer for the state.
double firstAnswerNs(quint16 port, const QSslCertificate &trusted, const QByteArray &cookie)
{
    const std::int64_t t0 = Bench::nowNs();
    auto socket = connectTo(port, trusted);
    QByteArray answer;
    if (!ask(*socket, get("/api/state", port, cookie), answer, "\"connected\""))
        fail("no state");
    return double(Bench::nowNs() - t0);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    const int connections = quick ? 20 : 200;
    const int changes = quick ? 30 : 200;
    const int starts = quick ? 3 : 10;

    JukeboxProcess jukebox;
    if (!jukebox.start(QStringLiteral(KURVAN_BENCH_JUKEBOX)))
        return 1;
    QTemporaryDir state;
    Serve plain, tls;
    plain.start(jukebox.simPort(), {});
    tls.start(jukebox.simPort(), state.path());
    QFile authorityFile(state.filePath(QStringLiteral("ca.pem")));
    if (!authorityFile.open(QIODevice::ReadOnly))
        fail("no authority");
    const QSslCertificate authority(authorityFile.readAll());
    const QByteArray plainCookie = login(plain.port, QSslCertificate());
    const QByteArray tlsCookie = login(tls.port, authority);

    // 17, alternating so both see the same machine.
    QList<double> plainFirst, tlsFirst;
    for (int i = 0; i < connections; ++i) {
        plainFirst << firstAnswerNs(plain.port, QSslCertificate(), plainCookie);
        tlsFirst << firstAnswerNs(tls.port, authority, tlsCookie);
    }

    // 18: both streams follow the same notices.
    auto plainStream = connectTo(plain.port, QSslCertificate());
    auto tlsStream = connectTo(tls.port, authority);
    QByteArray plainBuffer, tlsBuffer;
    if (!ask(*plainStream, get("/api/events", plain.port, plainCookie), plainBuffer, "\"phase\":\"connected\"") ||
        !ask(*tlsStream, get("/api/events", tls.port, tlsCookie), tlsBuffer, "\"phase\":\"connected\""))
        fail("no state stream");
    QList<double> plainNotice, tlsNotice;
    for (int i = 0; i < changes; ++i) {
        const QStringList burst = jukebox.command(QStringLiteral("burst 1")).split(u'\t');
        const std::int64_t sent = burst.value(0).section(u' ', 1).toLongLong();
        const QByteArray path = burst.value(2).toUtf8().replace("\\", "\\\\");
        // The client read second waits for the first one's read too: they take turns.
        std::array order{std::tuple{plainStream.get(), &plainBuffer, &plainNotice},
                         std::tuple{tlsStream.get(), &tlsBuffer, &tlsNotice}};
        if (i % 2 == 1)
            std::swap(order[0], order[1]);
        for (auto [socket, buffer, samples] : order) {
            if (!ask(*socket, {}, *buffer, path))
                fail("a page client did not get the new title");
            *samples << double(Bench::nowNs() - sent);
            *buffer = buffer->mid(buffer->indexOf(path) + path.size());
        }
    }

    // 19: each first start in a folder of its own; the later ones in the folder kept.
    QList<double> firstStarts, laterStarts;
    for (int i = 0; i < starts; ++i) {
        QTemporaryDir fresh;
        {
            Serve first;
            firstStarts << double(first.start(jukebox.simPort(), fresh.path()));
        }
        Serve later;
        laterStarts << double(later.start(jukebox.simPort(), fresh.path()));
    }

    const Bench::Summary pf = Bench::summarize(plainFirst);
    const Bench::Summary tf = Bench::summarize(tlsFirst);
    Bench::printRow(
        {QStringLiteral("17 Web remote: new connection to first state answer over TLS, median of %1").arg(tf.count),
         Bench::micros(tf.median), QStringLiteral("the same over plain HTTP"), Bench::micros(pf.median),
         tf.median / pf.median, QStringLiteral("< 50 ms"), Bench::verdict(tf.median < 50e6)});
    const Bench::Summary pn = Bench::summarize(plainNotice);
    const Bench::Summary tn = Bench::summarize(tlsNotice);
    Bench::printRow({QStringLiteral("18 Web remote: notice to page client over TLS, median of %1").arg(tn.count),
                     Bench::micros(tn.median), QStringLiteral("over plain HTTP"), Bench::micros(pn.median),
                     tn.median / pn.median, QStringLiteral("<= 1.2x plain"),
                     Bench::verdict(tn.median <= 1.2 * pn.median)});
    const Bench::Summary fs = Bench::summarize(firstStarts);
    const Bench::Summary ls = Bench::summarize(laterStarts);
    Bench::printRow(
        {QStringLiteral("19 Web remote: first start to its message (authority made), median of %1").arg(fs.count),
         Bench::millis(fs.median), QStringLiteral("a later start"), Bench::millis(ls.median), fs.median / ls.median,
         QStringLiteral("< 1 s"), Bench::verdict(fs.median < 1e9)});
    return 0;
}
