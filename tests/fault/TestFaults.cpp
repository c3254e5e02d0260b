#include "PanelFixture.h"
#include "ResponsivenessProbe.h"
#include "link/Frame.h"
#include "link/Messages.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <cstddef>
#include <functional>
#ifdef Q_OS_WIN
#include <qt_windows.h>
// psapi.h needs windows.h before it.
#include <psapi.h>
#else
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

#if defined(__SANITIZE_ADDRESS__)
#define KURVAN_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KURVAN_ASAN 1
#endif
#endif

#ifdef KURVAN_ASAN
// From the sanitizer runtime; GCC installs no header for it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

// How long a case may take to settle: every case settles within a second or two here, and the
// sanitized build runs the same cases a few times slower. A broken case fails within this
// and names itself, instead of holding the run for minutes. An emulator (Wine, for the Windows
// build) pays for every trip through the event loop, and the byte-by-byte cases make one per
// byte: there the largest frame takes over a minute to trickle in.
const int kSettle = qEnvironmentVariableIsSet("KURVAN_EMULATED") ? 180000 : 15000;
// What a case may add to the memory in use (see memoryInUse), simulator and panel included. The
// largest input of any case is 1.6 MB; a buffer or queue that kept what it was sent would
// show as tens of megabytes in the sanitized build.
constexpr qint64 kMemoryGrowthBound = 64LL * 1024 * 1024;
// Clicks that must have been answered by the end of a case, fault or no fault.
constexpr int kMinProbes = 3;

const QString kPassword = SimServer::kDefaultPassword;
const QString kConnected = u"Verbindung hergestellt"_s;
const QString kDisconnected = u"Verbindung getrennt"_s;

#ifdef KURVAN_ASAN
// Under AddressSanitizer freed blocks sit in a quarantine of up to 256 MiB before they are
// reused, so the resident set measures the quarantine more than this process; the bytes in
// live heap blocks are what a buffer or queue that keeps what it is sent would grow.
qint64 memoryInUse()
{
    return static_cast<qint64>(__sanitizer_get_current_allocated_bytes());
}
const char *const kMemoryMeasure = "live heap";
#elif defined(Q_OS_WIN)
// The working set, Windows' name for the resident set.
qint64 memoryInUse()
{
    PROCESS_MEMORY_COUNTERS counters{};
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return 0;
    return static_cast<qint64>(counters.WorkingSetSize);
}
const char *const kMemoryMeasure = "working set";
#else
// The resident set, from the kernel.
qint64 memoryInUse()
{
    QFile statm(u"/proc/self/statm"_s);
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}
const char *const kMemoryMeasure = "resident memory";
#endif

QByteArray frames(const QString &text, int count)
{
    return FrameMessage(text).repeated(count);
}

} // namespace

#define RETURN_IF_FAILED()                                                                                             \
    do {                                                                                                               \
        if (QTest::currentTestFailed())                                                                                \
            return;                                                                                                    \
    } while (false)

// The real panel against the simulator misbehaving on purpose. Every case ends by checking the
// same four things: the process is still here (a crash ends the run), the window answered a
// click within a second all along, the receive buffer, queue, nesting and memory stayed
// within their bounds, and the panel shows what is true.
class TestFaults : public QObject, PanelFixture
{
    Q_OBJECT

    std::unique_ptr<ResponsivenessProbe> probe;
    qint64 memoryAtStart = 0;

    // Every panel is probed from its first moment.
    void panelMade() override
    {
        probe = std::make_unique<ResponsivenessProbe>(link);
        probe->start();
    }
    void openPanel(const QString &portText, int queryTimeoutMs) { makePanel(portText, kPassword, queryTimeoutMs); }
    // Logs in against the simulator; a flood or noise in front of the answers may take kSettle.
    bool logIn(int queryTimeoutMs = kShortTimeout) { return PanelFixture::logIn(queryTimeoutMs, kSettle); }

    // The panel as a clean login against the playing simulator leaves it.
    void expectLoggedIn()
    {
        QCOMPARE(text("lblStatus"), kConnected);
        QCOMPARE(text("lblVersion"), u"7.1.0 (Demo)"_s);
        QCOMPARE(text("lblCredits"), u"3"_s);
        QCOMPARE(text("lblCurrentSong"), u"Mein Lied"_s);
        expectControls(true, true);
    }

    // The figures every case is judged by. maxDepth: how deep queries may have nested.
    void expectHealthy(int maxDepth = 1)
    {
        QTRY_VERIFY_WITH_TIMEOUT(probe->probes() >= kMinProbes, kSettle);
        probe->stop();
        const qint64 growth = memoryInUse() - memoryAtStart;
        qInfo("clicks answered %d, slowest %lld ms; receive buffer peak %lld bytes; queue peak %lld; "
              "query depth peak %d; %s %+lld KiB",
              probe->probes(), static_cast<long long>(probe->slowestClick().count()),
              static_cast<long long>(probe->maxBuffered()), static_cast<long long>(probe->maxQueued()),
              probe->maxDepth(), kMemoryMeasure, static_cast<long long>(growth / 1024));
        QCOMPARE(probe->frozenProbes(), 0);
        QVERIFY(probe->maxBuffered() <= JukeboxLink::kMaxBufferedBytes);
        QVERIFY(probe->maxQueued() <= JukeboxLink::kMaxQueuedMessages);
        QVERIFY(probe->maxDepth() <= maxDepth);
        QVERIFY2(growth < kMemoryGrowthBound, qPrintable(QString::number(growth)));
    }

private slots:
    void initTestCase()
    {
        static_assert(JukeboxLink::kMaxBufferedBytes == 65539 + 65536, "one largest frame plus one read");
        // A panel that cannot log in against a well-behaved jukebox fails every case the same
        // way: say so once, within a login's limit, instead of once per case.
        QVERIFY(startSim());
        QVERIFY2(PanelFixture::logIn(), "no login against the well-behaved simulator");
        probe.reset();
        reset();
    }

    void init()
    {
        QVERIFY(startSim());
        memoryAtStart = memoryInUse();
    }

    void cleanup()
    {
        probe.reset();
        reset();
    }

    // --- floods and garbage ----------------------------------------------------------------

    void burstOfNoticesWithEveryAnswer()
    {
        constexpr int kBurst = 100000;
        sim->model().setCredit(7);
        sim->faults().floodCount = kBurst; // right behind the login answer, in one write
        sim->faults().floodNotice = Msg::ChangeCredit;
        // Every answer comes; the real time-out only has to outlast the flood in front of them.
        QVERIFY(logIn(JukeboxLink::kQueryTimeout));

        // The notices are handled after the login, collapsed: a handful of questions, not 100,000.
        const int questions = asked(Msg::Credit) - 1;
        QVERIFY2(questions >= 1 && questions < 10, qPrintable(QString::number(questions)));
        QCOMPARE(text("lblStatus"), kConnected);
        QCOMPARE(text("lblVersion"), u"7.1.0 (Demo)"_s);
        QCOMPARE(text("lblCredits"), u"7"_s);
        expectControls(true, true);

        // And the panel goes on working.
        QTest::mouseClick(get<QPushButton>("cmdCreditPlus"), Qt::LeftButton);
        QTRY_COMPARE(text("lblCredits"), u"8"_s);
        expectHealthy();
    }

    void noticeFloodWithAnswersWithheld()
    {
        QVERIFY(logIn());
        sim->faults().withheldValues = {Msg::Credit};
        const int before = asked(Msg::Credit);
        // The stop notice comes last: once it shows, the whole flood has been read.
        sim->sendRaw(frames(Msg::ChangeCredit, 10000) + FrameMessage(Msg::PlayStatusStop));
        QTRY_VERIFY_WITH_TIMEOUT(panel->stopped() == 1 && idle(), kSettle);

        // Each question waits out its time-out; one per notice would keep the panel busy for
        // fifty minutes.
        const int questions = asked(Msg::Credit) - before;
        QVERIFY2(questions >= 1 && questions <= 3, qPrintable(QString::number(questions)));
        QCOMPARE(text("lblCredits"), u"3"_s); // no answer: the last known count stays
        QCOMPARE(text("lblStatus"), kConnected);
        expectControls(true, false);
        expectHealthy();
    }

    void lineNoiseRightAfterTheLogin()
    {
        sim->faults().garbageBytes = 1 << 20;
        sim->faults().garbageSeed = 20240611;
        QVERIFY(logIn(JukeboxLink::kQueryTimeout));
        // Noise without start bytes is dropped whole; every answer behind it counts.
        expectLoggedIn();
        RETURN_IF_FAILED();
        QCOMPARE(link->bufferedBytes(), 0);
        expectHealthy();
    }

    void noiseThenACreditNotice_data()
    {
        // Noise in front of a credit notice; the notice and the answer to its question still
        // come through, and nothing of the noise is left.
        QTest::addColumn<QByteArray>("noise");
        QTest::addColumn<int>("credit");
        QTest::addColumn<bool>("trickled"); // byte by byte, else in one write
        QByteArray random(1 << 20, Qt::Uninitialized);
        QRandomGenerator(4711).fillRange(reinterpret_cast<quint32 *>(random.data()), random.size() / 4);
        // Whatever frame the noise left open, this many bytes without a start byte complete it
        // (they are end bytes) and leave nothing behind: the reader is back in step.
        QTest::newRow("random bytes with start bytes")
            << random + QByteArray(kMaxFrameBytes + 1, kEndByte) << 0 << false;
        // The storm leaves a frame open whose length field reads 0x0202, 514 bytes; what comes
        // next fills it. Forty notices are 640 bytes, more than it can swallow.
        QTest::newRow("storm of start bytes")
            << QByteArray(1 << 20, kStartByte) + frames(Msg::ChangeCredit, 39) << 9 << false;
        // The frame is really held while it comes in.
        QTest::newRow("largest frame trickled byte by byte") << FrameMessage(QString(kMaxTextBytes, u'x')) << 5 << true;
    }

    void noiseThenACreditNotice()
    {
        QFETCH(QByteArray, noise);
        QFETCH(int, credit);
        QFETCH(bool, trickled);
        QVERIFY(logIn());
        sim->model().setCredit(credit);
        sim->faults().byteByByte = trickled;
        sim->faults().bytePauseMs = 0;
        sim->sendRaw(noise + FrameMessage(Msg::ChangeCredit));
        // What is queued keeps dripping; the answer to the question that follows comes whole.
        sim->faults().byteByByte = false;
        QTRY_COMPARE_WITH_TIMEOUT(text("lblCredits"), QString::number(credit), kSettle);
        QTRY_VERIFY(idle());
        if (trickled)
            QVERIFY2(probe->maxBuffered() > kMaxTextBytes / 2, qPrintable(QString::number(probe->maxBuffered())));
        QCOMPARE(enabled("cmdCreditMinus"), credit > 0);
        QVERIFY(enabled("cmdCreditPlus"));
        QCOMPARE(link->bufferedBytes(), 0);
        QCOMPARE(text("lblStatus"), kConnected);
        expectHealthy();
    }

    void everyFrameInSingleBytes()
    {
        sim->faults().byteByByte = true;
        sim->faults().bytePauseMs = 1;
        QVERIFY(logIn(2000));
        expectLoggedIn();
        RETURN_IF_FAILED();

        // A notice and two answers byte by byte, one of them with a byte outside ASCII.
        QTest::mouseClick(get<QPushButton>("cmdNextTitle"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(text("lblCurrentSong"), u"Der fr\u00F6hliche Wanderer"_s, kSettle);
        QTRY_COMPARE(panel->progress().maximum(), 187.0f);
        QTRY_VERIFY(idle());
        QCOMPARE(link->bufferedBytes(), 0);
        expectHealthy();
    }

    void manyFramesInOneWrite()
    {
        sim->faults().coalesce = true; // answers and notices leave together
        QVERIFY(logIn());
        QCOMPARE(text("lblVersion"), u"7.1.0 (Demo)"_s);
        QCOMPARE(text("lblCurrentSong"), u"Mein Lied"_s);
        const int titleQuestions = asked(Msg::CurrentSong);

        // 100,001 frames in one write; the jukebox's last word is that it stopped.
        sim->model().setCredit(0);
        sim->sendRaw((FrameMessage(Msg::ChangeTitle) + FrameMessage(Msg::ChangeCredit)).repeated(50000));
        sim->model().stop();
        QTRY_VERIFY_WITH_TIMEOUT(panel->stopped() == 1 && idle(), kSettle);

        const int questions = asked(Msg::CurrentSong) - titleQuestions;
        QVERIFY2(questions >= 1 && questions < 10, qPrintable(QString::number(questions)));
        QCOMPARE(text("lblCredits"), u"0"_s);
        QCOMPARE(text("lblCurrentSong"), QString());
        QCOMPARE(panel->progress().value(), 0.0f);
        QVERIFY(!enabled("cmdCreditMinus"));
        QVERIFY(enabled("cmdCreditPlus"));
        for (const char *name : controlsWith(PanelControl::Transport))
            QVERIFY2(!enabled(name), name);
        QCOMPARE(text("lblStatus"), kConnected);
        expectHealthy();
    }

    // --- a jukebox that does not answer ----------------------------------------------------

    void jukeboxThatStopsAnswering()
    {
        QVERIFY(logIn());
        sim->faults().withheldValues = JukeboxModel::valueNames();
        // The user clicks while the poll waits for its first answer.
        const auto clickInTheWait = connect(sim.get(), &SimServer::messageReceived, this, [this](const QString &t) {
            if (t == Msg::GetPrefix + Msg::Volume) {
                poll()->setInterval(kQuietPoll); // one poll only
                QTest::mouseClick(get<QPushButton>("cmdStop"), Qt::LeftButton);
            }
        });
        const int before = static_cast<int>(sim->received().size());
        poll()->start(1);

        // Every question times out, the poll still ends and starts its timer again; the stop
        // the click asked for is confirmed by a notice handled after the poll.
        QTRY_VERIFY_WITH_TIMEOUT(panel->stopped() == 1 && poll()->isActive() && idle(), kSettle);
        disconnect(clickInTheWait);
        QCOMPARE(probe->maxDepth(), 1); // clicks were answered inside the waits
        QCOMPARE(sim->received().mid(before), names({"GetVolume", "CtrlStop", "GetPlayStatus", "GetSongPos"}));
        QCOMPARE(text("lblStatus"), kConnected);
        QCOMPARE(text("lblCredits"), u"3"_s);
        QCOMPARE(panel->progress().value(), 0.0f); // an unanswered position reads as 0
        expectControls(true, false);
        expectHealthy();
    }

    void unansweredQueryWithTheRealTimeOut()
    {
        QVERIFY(logIn());
        link->setQueryTimeout(JukeboxLink::kQueryTimeout);
        sim->faults().withheldValues = {Msg::Credit};
        const int before = asked(Msg::Credit);
        sim->pushNotice(Msg::ChangeCredit);
        // The wait runs nested in this one: it is over when the question shows here.
        QTRY_VERIFY_WITH_TIMEOUT(asked(Msg::Credit) - before == 1 && idle(), 4 * JukeboxLink::kQueryTimeout);
        // Clicks were answered inside the wait, not only before and after it.
        QCOMPARE(probe->maxDepth(), 1);
        QCOMPARE(text("lblCredits"), u"3"_s);
        QCOMPARE(text("lblStatus"), kConnected);
        expectControls(true, true);
        expectHealthy();
    }

    void jukeboxThatAcceptsAndNeverSpeaks()
    {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        QByteArray got;
        connect(&silent, &QTcpServer::newConnection, this, [&] {
            QTcpSocket *peer = silent.nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, this, [&got, peer] { got += peer->readAll(); });
        });
        openPanel(QString::number(silent.serverPort()), kShortTimeout);
        QTRY_COMPARE(got, FrameMessage(Msg::PasswordPrefix + kPassword));
        // Nothing ever comes: the panel waits without a limit and keeps answering meanwhile.
        QTRY_VERIFY_WITH_TIMEOUT(probe->probes() >= 20, kSettle);
        QVERIFY(panel->isVisible());
        QCOMPARE(text("lblStatus"), u"Warte auf Authentifizierung"_s);
        QCOMPARE(text("lblVersion"), u"6.2.3"_s);
        QVERIFY(!poll()->isActive());
        expectAsCreated();
        expectHealthy();
    }

    // --- the connection going away -------------------------------------------------------

    void connectionClosedDuringTheLogin_data()
    {
        // The simulator closes the connection on receipt of the closeOn-th message, unanswered.
        // The login asks nothing after that, the controls go off whatever the version shown,
        // and the poll never starts.
        QTest::addColumn<int>("closeOn");
        QTest::addColumn<QString>("version");
        QTest::addColumn<int>("stopped");
        QTest::newRow("password") << 1 << "6.2.3" << 1;
        QTest::newRow("version") << 2 << "" << 1;
        QTest::newRow("type") << 3 << "7.1.0" << 1;
        QTest::newRow("credit") << 4 << "7.1.0 (Demo)" << 1;
        QTest::newRow("play status") << 5 << "7.1.0 (Demo)" << 1;
        QTest::newRow("song length") << 6 << "7.1.0 (Demo)" << 0;
        QTest::newRow("current song") << 7 << "7.1.0 (Demo)" << 0;
        QTest::newRow("song position") << 8 << "7.1.0 (Demo)" << 0;
    }

    void connectionClosedDuringTheLogin()
    {
        QFETCH(int, closeOn);
        QFETCH(QString, version);
        QFETCH(int, stopped);
        sim->faults().closeAfterMessages = closeOn;
        openPanel(port(), kShortTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(sim->received().size() == closeOn && text("lblStatus") == kDisconnected && idle(),
                                 kSettle);

        QCOMPARE(sim->received().size(), closeOn); // nothing went out on the dead link
        QCOMPARE(text("lblVersion"), version);
        QCOMPARE(panel->stopped(), stopped);
        QVERIFY(!poll()->isActive());
        expectControls(false, false);
        expectHealthy();
    }

    void connectionClosedDuringAPoll_data()
    {
        QTest::addColumn<QStringList>("questions"); // the poll's questions up to the closing one
        QTest::newRow("volume") << names({"GetVolume"});
        QTest::newRow("play status") << names({"GetVolume", "GetPlayStatus"});
        QTest::newRow("song position") << names({"GetVolume", "GetPlayStatus", "GetSongPos"});
    }

    void connectionClosedDuringAPoll()
    {
        QFETCH(QStringList, questions);
        QVERIFY(logIn());
        const int before = static_cast<int>(sim->received().size());
        sim->faults().closeAfterMessages = before + static_cast<int>(questions.size());
        poll()->start(1);
        // The poll runs nested in this wait: once the status line shows the loss here and the
        // timer is off, the poll has ended and has not come back.
        QTRY_VERIFY_WITH_TIMEOUT(text("lblStatus") == kDisconnected && !poll()->isActive(), kSettle);
        QCOMPARE(sim->received().mid(before), questions);
        QCOMPARE(panel->progress().value(), 0.0f);
        QCOMPARE(text("lblVersion"), u"7.1.0 (Demo)"_s);
        expectControls(false, false);
        expectHealthy();
    }

    void connectionClosedDuringAVolumeDrag_data()
    {
        QTest::addColumn<bool>("onTheCommand"); // else while the bar still moves
        QTest::newRow("while the bar moves") << false;
        QTest::newRow("on the volume command") << true;
    }

    void connectionClosedDuringAVolumeDrag()
    {
        QFETCH(bool, onTheCommand);
        QVERIFY(logIn());
        auto *bar = get<QScrollBar>("scrVol");
        bar->setSliderDown(true);
        for (int v : {10, 25, 40})
            bar->setSliderPosition(v);
        if (onTheCommand) {
            sim->faults().closeAfterMessages = static_cast<int>(sim->received().size()) + 1;
        } else {
            sim->close();
            QTRY_COMPARE(text("lblStatus"), kDisconnected);
            bar->setSliderPosition(55);
        }
        bar->setSliderDown(false);
        QTRY_VERIFY_WITH_TIMEOUT(!get<QTimer>("tmrVolume")->isActive() && text("lblStatus") == kDisconnected, kSettle);

        const QStringList sent = sim->received().filter(Msg::SetVolumePrefix);
        QCOMPARE(sent, onTheCommand ? names({"SetVolume|40"}) : QStringList());
        QCOMPARE(sim->model().volume(), 50); // the command that closed the link was never acted on
        QCOMPARE(panel->lastVolume(), onTheCommand ? 40 : 55);
        QVERIFY(!poll()->isActive());
        expectControls(false, false);
        expectHealthy();
    }

    void quitThenTheJukeboxGoesAway()
    {
        QVERIFY(logIn());
        QSignalSpy quit(sim.get(), &SimServer::quitRequested);
        QTest::mouseClick(get<QPushButton>("cmdEnd"), Qt::LeftButton);
        QVERIFY(quit.wait(kSettle));
        QTRY_COMPARE(text("lblStatus"), kDisconnected);
        sim.reset(); // the jukebox program has ended
        expectControls(false, false);
        QVERIFY(!poll()->isActive());

        // A poll that still comes finds the link down and changes nothing else.
        poll()->start(1);
        QTRY_VERIFY(!poll()->isActive());
        QCOMPARE(text("lblStatus"), kDisconnected);
        QCOMPARE(text("lblVersion"), u"7.1.0 (Demo)"_s);
        expectControls(false, false);
        expectHealthy();
    }

    // --- no login, no connection ---------------------------------------------------------

    void wrongPassword()
    {
        sim->setPassword(u"anders"_s);
        openPanel(port(), kShortTimeout);
        QTRY_COMPARE(text("lblStatus"), u"Authentifizierung fehlgeschlagen!"_s);
        QVERIFY(link->isConnected()); // the jukebox keeps the connection open
        QCOMPARE(sim->clientCount(), 1);

        // It talks on although it refused the login: a notice asks, nobody answers, nothing
        // changes, and the refusals repeated change nothing either.
        sim->sendRaw(frames(Msg::PasswordWrong, 1000) + frames(Msg::ChangeCredit, 1000));
        QTRY_VERIFY_WITH_TIMEOUT(asked(Msg::Credit) >= 1 && idle(), kSettle);
        QVERIFY(asked(Msg::Credit) <= 3);
        QCOMPARE(text("lblStatus"), u"Authentifizierung fehlgeschlagen!"_s);
        QCOMPARE(text("lblCredits"), QString());
        QVERIFY(!poll()->isActive());
        expectAsCreated();
        expectHealthy();
    }

    void refusedPort()
    {
        openPanel(QString::number(closedPort()), kShortTimeout);
        const auto *socket = link->findChild<QTcpSocket *>(u"Winsock1"_s);
        QSignalSpy failed(socket, &QAbstractSocket::errorOccurred);
        // Where the loopback refuses within connect() itself (Wine's sockets do), the refusal is
        // already in; elsewhere it comes after the system's own retries.
        if (socket->error() != QAbstractSocket::ConnectionRefusedError) {
            QVERIFY(failed.wait(kSettle));
            QCOMPARE(failed.first().first().value<QAbstractSocket::SocketError>(),
                     QAbstractSocket::ConnectionRefusedError);
        }
        QCOMPARE(socket->state(), QAbstractSocket::UnconnectedState);
        // The connection dialog's time-out reports this; the panel itself shows nothing new.
        QVERIFY(!panel->isVisible());
        QCOMPARE(text("lblStatus"), u"Es besteht keine Verbindung!"_s);
        QVERIFY(!poll()->isActive());
        expectAsCreated();
        expectHealthy();
    }

    // --- answers at the limit and the bounds themselves ----------------------------------

    void largestAnswers()
    {
        // Values as long as a frame allows, in every label the login fills.
        const QString huge(kMaxTextBytes - 20, u'W');
        sim->model().setVersion(huge);
        sim->model().setType(huge);
        sim->model().setSongs({{u"D:\\"_s + huge + u".mp3"_s, 200}});
        QVERIFY(logIn(JukeboxLink::kQueryTimeout));
        QCOMPARE(text("lblVersion"), huge + u" ("_s + huge + u")"_s);
        QCOMPARE(text("lblCurrentSong"), huge);
        QCOMPARE(text("lblStatus"), kConnected);
        panel->repaint(); // the labels fit and elide such texts when drawn
        expectControls(true, true);
        expectHealthy();
    }

    void nestedQueriesStopAtTheirDepthLimit()
    {
        QVERIFY(logIn());
        sim->faults().withheldValues = {Msg::Volume};
        // Each question first arms the next one, which then fires inside its wait: a handler
        // gone wrong that asks from within every wait.
        constexpr int kCalls = 200;
        int calls = 0;
        int deepest = 0;
        std::function<void()> ask = [&] {
            deepest = std::max(deepest, link->waitDepth());
            if (calls == kCalls)
                return;
            ++calls;
            QTimer::singleShot(0, this, ask);
            link->query(Msg::Volume);
        };
        const int before = asked(Msg::Volume);
        QTimer::singleShot(0, this, ask);
        QTRY_VERIFY_WITH_TIMEOUT(calls == kCalls && !link->isWaiting(), kSettle);
        QCOMPARE(deepest, JukeboxLink::kMaxQueryDepth);
        QCOMPARE(asked(Msg::Volume) - before, JukeboxLink::kMaxQueryDepth); // the rest never asked
        QCOMPARE(text("lblStatus"), kConnected);
        expectHealthy(JukeboxLink::kMaxQueryDepth);
    }
};

QTEST_MAIN(TestFaults)
#include "TestFaults.moc"
