// kurvan-bench-desktop: the real kurvan-client as a user starts it, in an X server of its own
// (bench/run.sh starts it under xvfb-run), beside the empty window of kurvan-bench-empty-window
// started and measured the same way:
//   start-up          process start until its first window is mapped (the connection dialog;
//                     the empty window), seen by the X server's map notice, no polling
//   memory            resident size of the logged-in client (panel shown, first poll done)
//                     beside the empty window's
//   CPU logged in     CPU seconds of both processes over the same 60 s while the client polls
//                     a playing simulator
// Prints ROW and NOTE lines for bench/run.sh. --quick: fewer starts and 5 s of polling.

#include "BenchSupport.h"
#include "JukeboxProcess.h"
#include "MapWatcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <memory>

namespace {

const QString kDialogTitle = QStringLiteral("Serveradresse");
const QString kPanelTitle = QStringLiteral("Kurvan");
const QString kEmptyTitle = QStringLiteral("kurvan-bench-empty-window");
const QString kTextTitle = QStringLiteral("kurvan-bench-text-window");

// Every program started here, so that a failure leaves none of them behind.
QList<QProcess *> g_started;

[[noreturn]] void fail(const QString &what)
{
    std::fprintf(stderr, "kurvan-bench-desktop: %s\n", qPrintable(what));
    for (QProcess *process : std::as_const(g_started)) {
        process->kill();
        process->waitForFinished(5000);
    }
    std::exit(1);
}

// A copy of the client in a folder of its own: its own Kurvan.ini beside it, and its own
// runtime folder, so that neither a user's settings nor a running copy (one per runtime
// folder) is touched.
struct ClientFolder
{
    QTemporaryDir dir;
    QString program;
    QString runtime;

    ClientFolder(quint16 port)
    {
        program = QDir(dir.path()).filePath(QStringLiteral("kurvan-client"));
        runtime = QDir(dir.path()).filePath(QStringLiteral("runtime"));
        if (!QFile::copy(QStringLiteral(KURVAN_CLIENT_PATH), program) || !QDir().mkpath(runtime))
            fail(QStringLiteral("cannot prepare ") + dir.path());
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QFile ini(QDir(dir.path()).filePath(QStringLiteral("Kurvan.ini")));
        if (!ini.open(QIODevice::WriteOnly))
            fail(QStringLiteral("cannot write Kurvan.ini"));
        ini.write("[Settings]\r\nLastIP=127.0.0.1\r\nPort=" + QByteArray::number(port) + "\r\n");
    }
};

std::unique_ptr<QProcess> launch(const QString &program, const QString &runtime, const QStringList &args = {})
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM")); // the X server's real windows
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(program, args);
    if (!process->waitForStarted(10000))
        fail(QStringLiteral("cannot start ") + program);
    g_started << process.get();
    return process;
}

void stop(QProcess &process)
{
    process.kill();
    process.waitForFinished(5000);
    g_started.removeOne(&process);
}

// Milliseconds from the start of program until its window titled title is mapped.
double startUp(MapWatcher &watcher, const QString &program, const QString &title, const QString &runtime,
               const QStringList &args = {})
{
    const std::int64_t t0 = Bench::nowNs();
    std::unique_ptr<QProcess> process = launch(program, runtime, args);
    const MapWatcher::Mapped mapped = watcher.waitMapped(process->processId(), title, 20000);
    stop(*process);
    if (mapped.atNs == 0)
        fail(title + QStringLiteral(" was not shown"));
    return double(mapped.atNs - t0);
}

qint64 pssKb(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("Pss:"))
            return line.mid(4).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

int xdotool(const QStringList &args)
{
    return QProcess::execute(QStringLiteral("xdotool"), args);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    const int starts = quick ? 3 : 15;
    const int cpuSeconds = quick ? 5 : 60;

    MapWatcher watcher;
    if (!watcher.isValid())
        fail(QStringLiteral("no X server (DISPLAY=%1): run under xvfb-run").arg(qEnvironmentVariable("DISPLAY")));

    JukeboxProcess jukebox;
    if (!jukebox.start(QStringLiteral(KURVAN_BENCH_JUKEBOX)))
        return 1;
    ClientFolder folder(jukebox.simPort());
    const QString empty = QStringLiteral(KURVAN_BENCH_EMPTY_WINDOW);

    // --- 6: start-up, alternating, after one start of each that warms the page cache.
    startUp(watcher, folder.program, kDialogTitle, folder.runtime);
    startUp(watcher, empty, kEmptyTitle, folder.runtime);
    const QStringList withText{QStringLiteral("--text")};
    startUp(watcher, empty, kTextTitle, folder.runtime, withText);
    QList<double> client, baseline, text;
    for (int i = 0; i < starts; ++i) {
        client << startUp(watcher, folder.program, kDialogTitle, folder.runtime);
        baseline << startUp(watcher, empty, kEmptyTitle, folder.runtime);
        text << startUp(watcher, empty, kTextTitle, folder.runtime, withText);
    }
    const Bench::Summary c = Bench::summarize(client);
    const Bench::Summary b = Bench::summarize(baseline);
    const Bench::Summary t = Bench::summarize(text);
    Bench::printRow({QStringLiteral("6 Start-up until the dialog is mapped, median of %1").arg(c.count),
                     Bench::millis(c.median), QStringLiteral("empty Qt Widgets window"), Bench::millis(b.median),
                     c.median / b.median, QStringLiteral("<= 1.2x empty"), Bench::verdict(c.median <= 1.2 * b.median)});
    Bench::printRow({QStringLiteral("6 (share of drawing text: the same window with one label)"),
                     Bench::millis(t.median), QStringLiteral("empty Qt Widgets window"), Bench::millis(b.median),
                     t.median / b.median, QStringLiteral("-"), QString()});
    Bench::printNote(QStringLiteral("start-up fastest %1 (client), %2 (empty window), %3 (window with one label)")
                         .arg(Bench::millis(c.min), Bench::millis(b.min), Bench::millis(t.min)));

    // --- log in the way a user does: the dialog comes up filled from Kurvan.ini, the jukebox
    // takes the empty password, Enter presses "Verbinden".
    jukebox.command(QStringLiteral("trace on"));
    std::unique_ptr<QProcess> kurvan = launch(folder.program, folder.runtime);
    const MapWatcher::Mapped dialog = watcher.waitMapped(kurvan->processId(), kDialogTitle, 20000);
    if (dialog.atNs == 0)
        fail(QStringLiteral("the dialog was not shown"));
    const QString dialogId = QString::number(dialog.window);
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), dialogId});
    xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QStringLiteral("Return")});
    if (watcher.waitMapped(kurvan->processId(), kPanelTitle, 20000).atNs == 0)
        fail(QStringLiteral("the panel was not shown"));
    std::unique_ptr<QProcess> window = launch(empty, folder.runtime);
    if (watcher.waitMapped(window->processId(), kEmptyTitle, 20000).atNs == 0)
        fail(QStringLiteral("the empty window was not shown"));
    // Settled: the login's "GetPlayStatus" and the first poll's.
    const QString pollMark = QStringLiteral("\tGetPlayStatus");
    int playStatus = 0;
    for (int waited = 0; playStatus < 2 && waited < 100; ++waited) {
        jukebox.pump(100);
        for (const QString &line : jukebox.takeLines(QStringLiteral("got ")))
            playStatus += line.endsWith(pollMark) ? 1 : 0;
    }
    if (playStatus < 2)
        fail(QStringLiteral("the client did not log in and poll"));
    QThread::msleep(500);

    const qint64 rssClient = Bench::statusKb(kurvan->processId(), "VmRSS");
    const qint64 rssEmpty = Bench::statusKb(window->processId(), "VmRSS");
    Bench::printRow({QStringLiteral("6 Resident memory, logged in"), Bench::mebibytes(rssClient),
                     QStringLiteral("empty Qt Widgets window"), Bench::mebibytes(rssEmpty),
                     double(rssClient) / double(rssEmpty), QStringLiteral("<= 1.2x empty"),
                     Bench::verdict(rssClient <= 1.2 * double(rssEmpty))});
    Bench::printNote(
        QStringLiteral("proportional set size (shared pages split between processes): %1 and %2")
            .arg(Bench::mebibytes(pssKb(kurvan->processId())), Bench::mebibytes(pssKb(window->processId()))));

    // --- 4: CPU of both over the same stretch of time.
    jukebox.takeLines(QStringLiteral("got "));
    const double client0 = Bench::cpuSecondsOf(kurvan->processId());
    const double empty0 = Bench::cpuSecondsOf(window->processId());
    QThread::sleep(cpuSeconds);
    const double clientCpu = Bench::cpuSecondsOf(kurvan->processId()) - client0;
    const double emptyCpu = Bench::cpuSecondsOf(window->processId()) - empty0;
    jukebox.pump(100);
    int polls = 0, queries = 0;
    for (const QString &line : jukebox.takeLines(QStringLiteral("got "))) {
        polls += line.endsWith(pollMark) ? 1 : 0;
        queries += line.section(u'\t', 1).startsWith(QStringLiteral("Get")) ? 1 : 0;
    }
    if (polls < cpuSeconds / 2 - 1)
        fail(QStringLiteral("the client polled %1 times in %2 s").arg(polls).arg(cpuSeconds));
    const double goal = 0.2 * cpuSeconds / 60.0;
    Bench::printRow({QStringLiteral("4 CPU while logged in, %1 s of polling").arg(cpuSeconds),
                     Bench::seconds(clientCpu, 4), QStringLiteral("empty Qt Widgets window"),
                     Bench::seconds(emptyCpu, 4), emptyCpu > 0 ? clientCpu / emptyCpu : 0,
                     QStringLiteral("< %1 s").arg(goal, 0, 'g', 3), Bench::verdict(clientCpu < goal)});
    Bench::printNote(
        QStringLiteral("CPU while logged in: %1 polls, %2 queries in %3 s").arg(polls).arg(queries).arg(cpuSeconds));

    stop(*kurvan);
    stop(*window);
    return 0;
}
