// kurvan-bench-jukebox: the simulator and the bare baseline server in one process of their own,
// so that what the measuring programs count in their own process is the client's cost alone.
//
// Prints "ports <simulator> <bare>" once listening, then takes commands on stdin, one a line:
//   withhold <name,name,...>   never answer these value names (nothing after it: answer all)
//   trace on|off               report every received text as "got <ns>\t<text>", the time taken
//                              once the text has been read and acted on
//   coalesce on|off            hold output until the event loop runs again, so that the writes
//                              a command causes come after its "got" time, not before it
//   burst <n>                  change the credit and the current title silently, then send
//                              n - 1 "ChangeCredit" and one "ChangeTitle" in one write; prints
//                              "burst <ns>\t<credit>\t<song path>", ns taken before the write
// and answers each with a line. It ends when stdin closes. Password: the empty text.

#include "BareServer.h"
#include "BenchSupport.h"
#include "SimServer.h"
#include "link/Frame.h"
#include "link/Messages.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <unistd.h>

namespace {

void say(const QString &line)
{
    const QByteArray bytes = (line + u'\n').toUtf8();
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0)
            return;
        done += n;
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    SimServer sim;
    sim.setPassword(QString());
    if (!sim.listen(QHostAddress::LocalHost, 0)) {
        say(QStringLiteral("error ") + sim.errorString());
        return 1;
    }
    BareServer bare;
    const quint16 barePort = bare.start();
    if (barePort == 0) {
        say(QStringLiteral("error bare server"));
        return 1;
    }

    bool trace = false;
    QObject::connect(&sim, &SimServer::messageReceived, &sim, [&](const QString &text) {
        const std::int64_t at = Bench::nowNs();
        sim.clearReceived(); // thousands of queries per run; nothing reads the list here
        if (trace)
            say(QStringLiteral("got %1\t%2").arg(at).arg(text));
    });

    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    const auto command = [&](const QString &line) {
        const QString verb = line.section(u' ', 0, 0);
        const QString rest = line.section(u' ', 1);
        if (verb == QStringLiteral("withhold")) {
            sim.faults().withheldValues = rest.split(u',', Qt::SkipEmptyParts);
            say(QStringLiteral("ok"));
        } else if (verb == QStringLiteral("trace")) {
            trace = rest == QStringLiteral("on");
            say(QStringLiteral("ok"));
        } else if (verb == QStringLiteral("coalesce")) {
            sim.faults().coalesce = rest == QStringLiteral("on");
            say(QStringLiteral("ok"));
        } else if (verb == QStringLiteral("burst")) {
            const int count = qMax(1, rest.toInt());
            JukeboxModel &model = sim.model();
            model.setCredit(model.credit() + 1);
            QList<Song> songs = model.songs();
            songs.append(songs.takeFirst());
            model.setSongs(songs);
            const QByteArray bytes =
                FrameMessage(Msg::ChangeCredit).repeated(count - 1) + FrameMessage(Msg::ChangeTitle);
            const std::int64_t at = Bench::nowNs();
            sim.sendRaw(bytes);
            say(QStringLiteral("burst %1\t%2\t%3").arg(at).arg(model.credit()).arg(model.currentSong()));
        } else {
            say(QStringLiteral("error unknown command ") + verb);
        }
    };
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char chunk[4096];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0) {
            QCoreApplication::quit();
            return;
        }
        pending.append(chunk, n);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            command(QString::fromUtf8(pending.left(end)).trimmed());
            pending.remove(0, end + 1);
        }
    });

    say(QStringLiteral("ports %1 %2").arg(sim.port()).arg(barePort));
    const int status = app.exec();
    sim.close();
    return status;
}
