// kurvan-bench-ctl: kurvanctl against the simulator on loopback (in kurvan-bench-jukebox):
//   status     wall time of "kurvanctl status" from process start to exit, median of 20, beside
//              a bare client (kurvan-bench-bare-status) that logs in and asks the same eight
//              values, and beside the start of an empty Qt Core program, shown separately
//   watch      resident memory of "kurvanctl watch" after its first polls, beside the empty Qt
//              Core program's
// The three programs take turns, after one warm-up start each. Prints ROW and NOTE lines for
// bench/run.sh. --quick: 5 runs and one poll.

#include "BenchSupport.h"
#include "JukeboxProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <cstdio>

namespace {

constexpr int kPollInterval = 2000; // kurvanctl watch asks every 2 s

[[noreturn]] void fail(const QString &what)
{
    std::fprintf(stderr, "kurvan-bench-ctl: %s\n", qPrintable(what));
    std::exit(1);
}

// Nanoseconds from start to exit; fails the run on a non-zero exit code.
double timedRun(const QString &program, const QStringList &arguments, const QProcessEnvironment &env)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        fail(program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(process.readAllStandardError()));
    return static_cast<double>(clock.nsecsElapsed());
}

// Resident size in kB of program after it has run for ms.
qint64 residentAfter(const QString &program, const QStringList &arguments, const QProcessEnvironment &env, int ms)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForStarted(10000))
        fail(QStringLiteral("cannot start ") + program);
    QThread::msleep(static_cast<unsigned long>(ms));
    const qint64 kb = Bench::statusKb(process.processId(), "VmRSS");
    process.kill();
    process.waitForFinished(5000);
    if (kb < 0)
        fail(program + QStringLiteral(" ended before its memory was read"));
    return kb;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    const int runs = quick ? 5 : 20;

    JukeboxProcess jukebox;
    if (!jukebox.start(QStringLiteral(KURVAN_BENCH_JUKEBOX)))
        return 1;
    const QString port = QString::number(jukebox.simPort());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KURVAN_HOST"), QStringLiteral("127.0.0.1"));
    env.insert(QStringLiteral("KURVAN_PORT"), port);
    env.insert(QStringLiteral("KURVAN_PASSWORD"), QString());

    const QString ctl = QStringLiteral(KURVANCTL_PATH);
    const QString bare = QStringLiteral(KURVAN_BENCH_BARE_STATUS);
    const QString core = QStringLiteral(KURVAN_BENCH_EMPTY_CORE);
    QList<double> ctlNs, bareNs, coreNs;
    for (int i = -1; i < runs; ++i) {
        const double c = timedRun(ctl, {QStringLiteral("status")}, env);
        const double b = timedRun(bare, {port}, env);
        const double q = timedRun(core, {}, env);
        if (i < 0)
            continue; // the warm-up fills the page cache
        ctlNs << c;
        bareNs << b;
        coreNs << q;
    }
    const Bench::Summary c = Bench::summarize(ctlNs);
    const Bench::Summary b = Bench::summarize(bareNs);
    const Bench::Summary q = Bench::summarize(coreNs);
    const double allowed = 1.5 * b.median + q.median;
    const QString count = QString::number(runs);
    Bench::printRow({QStringLiteral("8 kurvanctl status, start to exit, median of ") + count, Bench::millis(c.median),
                     QStringLiteral("bare client, login and eight values"), Bench::millis(b.median),
                     c.median / b.median,
                     QStringLiteral("<= 1.5x bare + Qt Core start (") + Bench::millis(allowed) + u')',
                     Bench::verdict(c.median <= allowed)});
    Bench::printRow({QStringLiteral("8 (start to exit of an empty Qt Core program, median)"), Bench::millis(q.median),
                     QStringLiteral("bare client"), Bench::millis(b.median), q.median / b.median, QStringLiteral("-"),
                     QStringLiteral("-")});

    const int settle = quick ? kPollInterval + 500 : 3 * kPollInterval + 500;
    const qint64 watchKb = residentAfter(ctl, {QStringLiteral("watch")}, env, settle);
    const qint64 coreKb = residentAfter(core, {QStringLiteral("--stay")}, env, settle);
    Bench::printRow({QStringLiteral("9 kurvanctl watch, resident memory after its first polls"),
                     Bench::mebibytes(watchKb), QStringLiteral("empty Qt Core program"), Bench::mebibytes(coreKb),
                     static_cast<double>(watchKb) / static_cast<double>(coreKb), QStringLiteral("-"),
                     QStringLiteral("-")});
    Bench::printNote(
        QStringLiteral("8: kurvanctl status %1 ms median (minimum %2 ms), bare client %3 ms, empty Qt Core "
                       "program %4 ms, over %5 runs each, taking turns.")
            .arg(c.median / 1e6, 0, 'f', 2)
            .arg(c.min / 1e6, 0, 'f', 2)
            .arg(b.median / 1e6, 0, 'f', 2)
            .arg(q.median / 1e6, 0, 'f', 2)
            .arg(runs));
    return 0;
}
