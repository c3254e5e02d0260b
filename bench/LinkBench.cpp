// kurvan-bench-link: the client's link and panel in this process (offscreen), the jukebox in a
// process of its own (kurvan-bench-jukebox), every figure beside a baseline taken in the same run:
//   query round trip    a link's query against the bare server, beside a bare blocking client
//                       against the same server: the client's own share; and the same query
//                       against the simulator, beside the bare pair and a bare client against
//                       the simulator (the simulator's own share)
//   CPU while waiting   a query that runs into its time-out, beside the spinning wait
//   click to wire       a click on "+" until "AddCredit|1" is read by the simulator, beside
//                       a bare socket's one-way trip
//   notice burst        100,000 notices in one write until the panel shows their outcome,
//                       beside a bare socket that only receives the same bytes
// Prints ROW and NOTE lines for bench/run.sh. --quick: small counts and a 1 s time-out;
// --only=2,5: just those measurements.

#include "BareServer.h"
#include "BenchSupport.h"
#include "JukeboxProcess.h"
#include "SpinningQuery.h"
#include "link/Frame.h"
#include "link/JukeboxLink.h"
#include "link/Messages.h"
#include "panel/Kurvan.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QPushButton>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include <cstdio>
#include <functional>

namespace {

struct Settings
{
    bool quick = false;
    int rounds = 10;
    int queriesPerRound = 1000;
    int timeoutMs = JukeboxLink::kQueryTimeout;
    int clicks = 1000;
    int burstNotices = 100'000;
    int burstRepeats = 3;
};

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "kurvan-bench-link: %s\n", what);
    std::exit(1);
}

// Runs the event loop until done() holds; false after timeoutMs.
bool waitFor(const std::function<bool()> &done, int timeoutMs = 10000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

void loginLink(JukeboxLink &link, quint16 port)
{
    bool accepted = false;
    QObject::connect(&link, &JukeboxLink::passwordAccepted, &link, [&] { accepted = true; });
    link.connectToJukebox(QStringLiteral("127.0.0.1"), QString::number(port));
    if (!waitFor([&] { return link.isConnected(); }))
        fail("the link did not connect to the simulator");
    link.SendCommand(Msg::PasswordPrefix);
    if (!waitFor([&] { return accepted; }))
        fail("the simulator did not accept the login");
}

// --- 2: query round trip ----------------------------------------------------------------------

void queryRoundTrip(const Settings &s, JukeboxProcess &jukebox)
{
    JukeboxLink link;
    loginLink(link, jukebox.simPort());
    // The bare server answers without a login; the link asks whoever it is connected to.
    JukeboxLink linkToBare;
    linkToBare.connectToJukebox(QStringLiteral("127.0.0.1"), QString::number(jukebox.barePort()));
    if (!waitFor([&] { return linkToBare.isConnected(); }))
        fail("the link did not connect to the bare server");

    const int bare = Bare::connectLoopback(jukebox.barePort());
    const int bareToSim = Bare::connectLoopback(jukebox.simPort());
    if (bare < 0 || bareToSim < 0)
        fail("bare connection refused");
    QByteArray bareBuffer;
    QByteArray simBuffer;
    QByteArray text;
    Bare::writeAll(bareToSim, FrameMessage(Msg::PasswordPrefix));
    if (!Bare::readFrame(bareToSim, simBuffer, text) || text != "PasswordOK")
        fail("bare login to the simulator failed");

    const QByteArray request = FrameMessage(Msg::GetPrefix + Msg::Credit);
    QList<double> kurvan, kurvanBare, baseline, bareSim;
    const auto viaLinkTo = [&](JukeboxLink &l) {
        const std::int64_t t0 = Bench::nowNs();
        const QueryResult result = l.query(Msg::Credit);
        const std::int64_t t1 = Bench::nowNs();
        if (result.outcome != QueryOutcome::Answered)
            fail("query without answer");
        return double(t1 - t0);
    };
    const auto viaLink = [&] { return viaLinkTo(link); };
    const auto viaBare = [&](int fd, QByteArray &buffer) {
        const std::int64_t t0 = Bench::nowNs();
        if (!Bare::writeAll(fd, request) || !Bare::readFrame(fd, buffer, text))
            fail("bare round trip failed");
        return double(Bench::nowNs() - t0);
    };
    // Warm-up: caches, and the scheduler's view of both processes.
    for (int i = 0; i < s.queriesPerRound; ++i)
        viaLink();
    for (int i = 0; i < s.queriesPerRound; ++i)
        viaLinkTo(linkToBare);
    for (int i = 0; i < s.queriesPerRound; ++i)
        viaBare(bare, bareBuffer);
    for (int i = 0; i < s.queriesPerRound; ++i)
        viaBare(bareToSim, simBuffer);
    // Blocks of back-to-back queries, the three kinds taking turns, so that a noisy neighbour on
    // this shared machine hits all three alike. Back to back, because a process that sleeps
    // between two queries for longer than another one's round trip wakes up on a CPU that has
    // gone idle: that cost belongs to the machine, not to either end, and a block shows the
    // steady state.
    for (int round = 0; round < s.rounds; ++round) {
        for (int i = 0; i < s.queriesPerRound; ++i)
            kurvan << viaLink();
        for (int i = 0; i < s.queriesPerRound; ++i)
            kurvanBare << viaLinkTo(linkToBare);
        for (int i = 0; i < s.queriesPerRound; ++i)
            baseline << viaBare(bare, bareBuffer);
        for (int i = 0; i < s.queriesPerRound; ++i)
            bareSim << viaBare(bareToSim, simBuffer);
    }
    ::close(bare);
    ::close(bareToSim);

    const Bench::Summary k = Bench::summarize(kurvan);
    const Bench::Summary kb = Bench::summarize(kurvanBare);
    const Bench::Summary b = Bench::summarize(baseline);
    const Bench::Summary bs = Bench::summarize(bareSim);
    const QString count = QString::number(k.count);
    // The client's own share: both clients ask the same bare server.
    Bench::printRow({QStringLiteral("2 Query round trip to the bare server, median of ") + count,
                     Bench::micros(kb.median), QStringLiteral("bare client, same server"), Bench::micros(b.median),
                     kb.median / b.median, QStringLiteral("<= 1.5x bare"),
                     Bench::verdict(kb.median <= 1.5 * b.median)});
    Bench::printRow({QStringLiteral("2 Query round trip to the bare server, 99th percentile"), Bench::micros(kb.p99),
                     QStringLiteral("bare client, same server"), Bench::micros(b.p99), kb.p99 / b.p99,
                     QStringLiteral("<= 1.5x bare"), Bench::verdict(kb.p99 <= 1.5 * b.p99)});
    // Against the simulator the jukebox's own share is in the figure too: shown, not judged.
    Bench::printRow({QStringLiteral("2 Query round trip to the simulator, median of ") + count, Bench::micros(k.median),
                     QStringLiteral("bare socket pair"), Bench::micros(b.median), k.median / b.median,
                     QStringLiteral("-"), QString()});
    Bench::printRow({QStringLiteral("2 Query round trip to the simulator, 99th percentile"), Bench::micros(k.p99),
                     QStringLiteral("bare socket pair"), Bench::micros(b.p99), k.p99 / b.p99, QStringLiteral("-"),
                     QString()});
    Bench::printRow({QStringLiteral("2 (share of the simulator: bare client to simulator, median)"),
                     Bench::micros(bs.median), QStringLiteral("bare socket pair"), Bench::micros(b.median),
                     bs.median / b.median, QStringLiteral("-"), QString()});
    Bench::printNote(QStringLiteral("round trip medians: link to simulator %1, bare client to simulator %2, link to "
                                    "bare server %3, bare pair %4; p99 %5 / %6 / %7 / %8")
                         .arg(Bench::micros(k.median), Bench::micros(bs.median), Bench::micros(kb.median),
                              Bench::micros(b.median), Bench::micros(k.p99), Bench::micros(bs.p99),
                              Bench::micros(kb.p99), Bench::micros(b.p99)));
}

// --- 3: CPU while waiting ---------------------------------------------------------------------

void cpuWhileWaiting(const Settings &s, JukeboxProcess &jukebox)
{
    jukebox.command(QStringLiteral("withhold Credit"));

    // The spinning wait, on a socket of its own.
    QTcpSocket raw;
    raw.connectToHost(QStringLiteral("127.0.0.1"), jukebox.simPort());
    if (!raw.waitForConnected(5000))
        fail("spinning baseline: no connection");
    raw.write(FrameMessage(Msg::PasswordPrefix));
    QByteArray buffer;
    while (ExtractMessage(buffer) != "PasswordOK") {
        if (!raw.waitForReadyRead(5000))
            fail("spinning baseline: no login");
        buffer += raw.readAll();
    }
    SpinningQuery spinning(&raw);
    spinning.setTimeout(s.timeoutMs);
    double cpu0 = Bench::cpuSeconds();
    std::int64_t t0 = Bench::nowNs();
    const QString spun = spinning.query(Msg::Credit);
    const double spinCpu = Bench::cpuSeconds() - cpu0;
    const double spinWall = double(Bench::nowNs() - t0) / 1e9;
    if (spun != Msg::TimeOut)
        fail("spinning baseline: the withheld value was answered");
    raw.abort();

    JukeboxLink link;
    loginLink(link, jukebox.simPort());
    link.setQueryTimeout(s.timeoutMs);
    cpu0 = Bench::cpuSeconds();
    t0 = Bench::nowNs();
    const QueryResult waited = link.query(Msg::Credit);
    const double linkCpu = Bench::cpuSeconds() - cpu0;
    const double linkWall = double(Bench::nowNs() - t0) / 1e9;
    if (waited.outcome != QueryOutcome::TimedOut)
        fail("the withheld value was answered");
    jukebox.command(QStringLiteral("withhold"));

    // The goal is set for the full five seconds; a shorter time-out is held to its share.
    const double goal = 0.05 * s.timeoutMs / JukeboxLink::kQueryTimeout;
    Bench::printRow({QStringLiteral("3 CPU while a query waits %1 s for its time-out").arg(s.timeoutMs / 1000.0),
                     Bench::seconds(linkCpu, 4), QStringLiteral("spinning wait"), Bench::seconds(spinCpu, 3),
                     linkCpu / spinCpu, QStringLiteral("< %1 s").arg(goal, 0, 'g', 3), Bench::verdict(linkCpu < goal)});
    Bench::printNote(QStringLiteral("time-out reached after %1 (the link's wait) and %2 (spinning wait)")
                         .arg(Bench::seconds(linkWall), Bench::seconds(spinWall)));
}

// --- 5 and 7: the panel -----------------------------------------------------------------------

struct PanelUnderTest
{
    JukeboxLink *link = new JukeboxLink; // the panel's
    Kurvan panel;
    QPushButton *plus = nullptr;
    QLabel *credits = nullptr;
    QLabel *song = nullptr;
    QTimer *poll = nullptr;

    explicit PanelUnderTest(quint16 port)
        : panel(link, ServerLogin{QStringLiteral("127.0.0.1"), QString::number(port), QString()})
    {
        plus = panel.findChild<QPushButton *>(QStringLiteral("cmdCreditPlus"));
        credits = panel.findChild<QLabel *>(QStringLiteral("lblCredits"));
        song = panel.findChild<QLabel *>(QStringLiteral("lblCurrentSong"));
        poll = panel.findChild<QTimer *>(QStringLiteral("tmrCheckStatus"));
        if (!plus || !credits || !song || !poll)
            fail("panel controls not found");
        // Logged in and filled: the login sequence starts the poll as its last step.
        if (!waitFor([&] { return poll->isActive() && !link->isWaiting(); }))
            fail("the panel did not log in");
    }
    bool idle() const { return plus->isEnabled() && !link->isWaiting(); }
};

void clickToWire(const Settings &s, JukeboxProcess &jukebox, PanelUnderTest &p)
{
    jukebox.command(QStringLiteral("coalesce on"));
    jukebox.command(QStringLiteral("trace on"));
    jukebox.takeLines(QStringLiteral("got "));

    const int bare = Bare::connectLoopback(jukebox.barePort());
    if (bare < 0)
        fail("bare connection refused");
    const QByteArray stamp = FrameMessage(QStringLiteral("Stamp"));
    QByteArray buffer;
    QByteArray text;

    QList<std::int64_t> clickedAt;
    QList<double> oneWay, handled;
    for (int i = 0; i < s.clicks; ++i) {
        // "+" switches itself off until the jukebox's notice has been handled.
        if (!waitFor([&] { return p.idle(); }))
            fail("\"+\" stayed off");
        clickedAt << Bench::nowNs();
        QTest::mouseClick(p.plus, Qt::LeftButton);
        handled << double(Bench::nowNs() - clickedAt.last());

        const std::int64_t t0 = Bench::nowNs();
        if (!Bare::writeAll(bare, stamp) || !Bare::readFrame(bare, buffer, text))
            fail("bare stamp failed");
        oneWay << double(text.mid(text.indexOf('|') + 1).toLongLong() - t0);
    }
    ::close(bare);
    if (!waitFor([&] { return p.idle(); }))
        fail("\"+\" stayed off");

    QList<double> clicks;
    const QString addCredit = QStringLiteral("\t") + Msg::AddCredit;
    QStringList got;
    waitFor([&] {
        for (const QString &line : jukebox.takeLines(QStringLiteral("got ")))
            if (line.endsWith(addCredit))
                got << line;
        return got.size() >= clickedAt.size();
    });
    if (got.size() != clickedAt.size())
        fail("the simulator did not receive every click");
    for (qsizetype i = 0; i < got.size(); ++i)
        clicks << double(got.at(i).mid(4).section(u'\t', 0, 0).toLongLong() - clickedAt.at(i));
    jukebox.command(QStringLiteral("trace off"));
    jukebox.command(QStringLiteral("coalesce off"));

    const Bench::Summary c = Bench::summarize(clicks);
    const Bench::Summary w = Bench::summarize(oneWay);
    Bench::printRow({QStringLiteral("5 Click to wire, median of %1").arg(c.count), Bench::micros(c.median),
                     QStringLiteral("bare one-way trip"), Bench::micros(w.median), c.median / w.median,
                     QStringLiteral("< 1 ms"), Bench::verdict(c.median < 1e6)});
    Bench::printNote(
        QStringLiteral("click to wire: 99th percentile %1 (bare one-way %2); press and release "
                       "handled in the client after %3 (median), the frame handed to the kernel")
            .arg(Bench::micros(c.p99), Bench::micros(w.p99), Bench::micros(Bench::summarize(handled).median)));
}

void noticeBurst(const Settings &s, JukeboxProcess &jukebox, PanelUnderTest &p)
{
    // Done when the last notice, a "ChangeTitle" behind all the "ChangeCredit"s, has been
    // handled: by then every byte of the burst has been read. This slot runs after the panel's.
    std::int64_t doneAt = 0;
    QString creditsShown, songShown;
    QMetaObject::Connection watch = QObject::connect(p.link, &JukeboxLink::notice, &p.panel, [&](Incoming kind) {
        if (kind != Incoming::ChangeTitle)
            return;
        doneAt = Bench::nowNs();
        creditsShown = p.credits->text();
        songShown = p.song->text();
    });

    const int bare = Bare::connectLoopback(jukebox.barePort());
    if (bare < 0)
        fail("bare connection refused");
    const QByteArray burstRequest = FrameMessage(QStringLiteral("Burst|%1").arg(s.burstNotices));
    const qint64 burstBytes = qint64(s.burstNotices) * FrameMessage(Msg::ChangeCredit).size();

    QList<double> panelMs, bareMs;
    qint64 peakGrowthKb = 0;
    qint64 rssBeforeKb = 0;
    for (int i = 0; i < s.burstRepeats; ++i) {
        if (!waitFor([&] { return p.idle(); }))
            fail("panel not idle before the burst");
        doneAt = 0;
        rssBeforeKb = Bench::statusKb(0, "VmRSS");
        if (!Bench::resetPeakRss())
            Bench::printNote(QStringLiteral("notice burst: the kernel refused to reset the peak; peak is the run's"));
        const QStringList sent = jukebox.command(QStringLiteral("burst %1").arg(s.burstNotices)).split(u'\t');
        const std::int64_t sentAt = sent.value(0).section(u' ', 1).toLongLong();
        if (!waitFor([&] { return doneAt != 0; }, 60000))
            fail("the panel did not handle the burst");
        const qint64 peakKb = Bench::statusKb(0, "VmHWM");
        peakGrowthKb = qMax(peakGrowthKb, peakKb - rssBeforeKb);
        panelMs << double(doneAt - sentAt);
        const QString expectedSong = sent.value(2).section(u'\\', -1).section(u'.', 0, 0).replace(u'_', u' ');
        if (creditsShown != sent.value(1) || songShown != expectedSong)
            fail("the panel shows something else than the burst's outcome");

        const std::int64_t t0 = Bench::nowNs();
        if (!Bare::writeAll(bare, burstRequest) || !Bare::readBytes(bare, burstBytes))
            fail("bare burst failed");
        bareMs << double(Bench::nowNs() - t0);
    }
    ::close(bare);
    QObject::disconnect(watch);

    const Bench::Summary k = Bench::summarize(panelMs);
    const Bench::Summary b = Bench::summarize(bareMs);
    Bench::printRow({QStringLiteral("7 Notice burst of %1, until the panel shows it (median of %2)")
                         .arg(s.burstNotices)
                         .arg(k.count),
                     Bench::millis(k.median), QStringLiteral("bare socket receiving it"), Bench::millis(b.median),
                     k.median / b.median, QStringLiteral("-"), QString()});
    Bench::printRow({QStringLiteral("7 Notice burst: peak growth of resident memory"), Bench::mebibytes(peakGrowthKb),
                     QStringLiteral("the burst's own bytes"), Bench::mebibytes(burstBytes / 1024),
                     double(peakGrowthKb) / (double(burstBytes) / 1024.0), QStringLiteral("-"), QString()});
    Bench::printNote(QStringLiteral("notice burst: resident %1 before it").arg(Bench::mebibytes(rssBeforeKb)));
}

} // namespace

int main(int argc, char *argv[])
{
    // The panel draws into memory: no display needed, and none to disturb the figures.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    Settings s;
    if (app.arguments().contains(QStringLiteral("--quick"))) {
        s.quick = true;
        s.rounds = 4;
        s.queriesPerRound = 100;
        s.timeoutMs = 1000;
        s.clicks = 50;
        s.burstNotices = 10'000;
        s.burstRepeats = 1;
    }

    QString only = QStringLiteral("2,3,5,7");
    for (const QString &argument : app.arguments()) {
        if (argument.startsWith(QStringLiteral("--only=")))
            only = argument.mid(7);
    }
    const QStringList parts = only.split(u',');

    JukeboxProcess jukebox;
    if (!jukebox.start(QStringLiteral(KURVAN_BENCH_JUKEBOX)))
        return 1;

    if (parts.contains(QStringLiteral("2")))
        queryRoundTrip(s, jukebox);
    if (parts.contains(QStringLiteral("3")))
        cpuWhileWaiting(s, jukebox);
    if (parts.contains(QStringLiteral("5")) || parts.contains(QStringLiteral("7"))) {
        PanelUnderTest panel(jukebox.simPort());
        if (parts.contains(QStringLiteral("5")))
            clickToWire(s, jukebox, panel);
        if (parts.contains(QStringLiteral("7")))
            noticeBurst(s, jukebox, panel);
    }
    return 0;
}
