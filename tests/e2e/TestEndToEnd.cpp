#include "PanelFixture.h"
#include "SimServer.h"

#ifdef KURVAN_WITH_MPRIS
#include <QDBusConnection>
#endif
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

// The real kurvan-client in an X server of its own (the test runs under xvfb-run), driven the
// way a user drives it, against the simulator on 127.0.0.1. Each test runs a copy of the
// program from a folder of its own, so its Kurvan.ini and its single-instance lock are private.
class TestEndToEnd : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> folder;
    QString program;
    QString runtimeDir;
    std::unique_ptr<SimServer> sim;
    QList<QProcess *> clients;

    // A login from the dialog's Enter to the play status question: the connection's own limit
    // and a margin.
    static constexpr int kLoginLimit = 8000;

    QString ini() const { return QDir(folder->path()).filePath(u"Kurvan.ini"_s); }

    void writeIni(const QString &address, const QString &port)
    {
        QVERIFY(writeFileBytes(ini(),
                               "[Settings]\r\nLastIP=" + address.toLatin1() + "\r\nPort=" + port.toLatin1() + "\r\n"));
    }

    QProcessEnvironment clientEnvironment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(u"QT_QPA_PLATFORM"_s); // the real window system of the X server
        env.insert(u"XDG_RUNTIME_DIR"_s, runtimeDir);
        return env;
    }

    QProcess *startClient(const QProcessEnvironment &env, QProcess::ProcessChannelMode channels)
    {
        auto *client = new QProcess(this);
        client->setProcessEnvironment(env);
        client->setProcessChannelMode(channels);
        client->start(program, {});
        client->waitForStarted(10000);
        clients << client;
        return client;
    }
    QProcess *startClient() { return startClient(clientEnvironment(), QProcess::ForwardedErrorChannel); }

    // Types the password into the dialog and waits until the jukebox has been asked for its play
    // status: the login has run.
    void logIn()
    {
        const QString dialog = window(u"Serveradresse"_s);
        QVERIFY(!dialog.isEmpty());
        // Focus order: address, port, "Verbinden", password; Enter presses "Verbinden".
        typeInto(dialog, words("@Tab @Tab @Tab geheim @Return"));
        // Connecting and the first answers take well under a second on loopback; a client that
        // cannot read the jukebox's frames fails here, not after every limit of the case.
        QVERIFY(simReceived(u"GetPlayStatus"_s, kLoginLimit));
    }

    // The words of a command line, split at blanks.
    static QStringList words(const char *line) { return QString::fromLatin1(line).split(u' '); }
    static QString xdotool(const QStringList &args, int timeoutMs = 15000)
    {
        QProcess xdo;
        xdo.start(u"xdotool"_s, args);
        if (!xdo.waitForFinished(timeoutMs)) {
            xdo.kill();
            xdo.waitForFinished();
            return {};
        }
        return QString::fromLocal8Bit(xdo.readAllStandardOutput()).trimmed();
    }

    // The id of the visible window titled exactly title, waiting for it up to timeoutMs.
    static QString window(const QString &title, int timeoutMs = 15000)
    {
        const QString ids = xdotool(words("search --sync --onlyvisible --name") << u'^' + title + u'$', timeoutMs);
        return ids.section(u'\n', 0, 0);
    }
    static QStringList visibleWindows(const QString &title)
    {
        const QString ids = xdotool(words("search --onlyvisible --name") << u'^' + title + u'$');
        return ids.isEmpty() ? QStringList() : ids.split(u'\n');
    }
    static void typeInto(const QString &win, const QStringList &keysThenText)
    {
        xdotool(words("windowfocus --sync") << win);
        for (const QString &step : keysThenText) {
            if (step.startsWith(u'@'))
                xdotool(words("key --clearmodifiers") << step.mid(1));
            else
                xdotool(words("type --delay 15") << step);
        }
    }
    static void clickAt(const QString &win, int x, int y)
    {
        xdotool(words("mousemove --window") << win << QString::number(x) << QString::number(y));
        xdotool(words("click 1"));
    }

    template <typename Condition> static bool waitFor(Condition condition, int timeoutMs = 15000)
    {
        QElapsedTimer clock;
        clock.start();
        while (!condition()) {
            if (clock.elapsed() > timeoutMs)
                return false;
            QTest::qWait(20);
        }
        return true;
    }
    bool simReceived(const QString &text, int timeoutMs = 15000)
    {
        return waitFor([&] { return sim->received().contains(text); }, timeoutMs);
    }
    // Until the client's next status poll has reached the jukebox: whatever the client was going
    // to send before it has gone out by then.
    bool nextPoll()
    {
        const qsizetype polls = sim->received().count(u"GetPlayStatus"_s);
        return waitFor([&] { return sim->received().count(u"GetPlayStatus"_s) > polls; });
    }

    // What program prints when run with args; empty unless it ends with exit code 0.
    static QString printed(const QString &program, const QStringList &args,
                           const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        QProcess run;
        run.setProcessEnvironment(env);
        run.start(program, args);
        const bool ok = run.waitForFinished(15000) && run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0;
        return ok ? QString::fromUtf8(run.readAllStandardOutput()) : QString();
    }

#ifdef KURVAN_WITH_MPRIS
    static QString playerctl(const char *args)
    {
        return printed(u"playerctl"_s, words("-p kurvan") + words(args)).trimmed();
    }
    static bool playerctlShows(const char *args, const QString &expected)
    {
        return waitFor([&] { return playerctl(args) == expected; });
    }
#endif

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs an X server: run under xvfb-run");
        QVERIFY2(loopbackLoginWorks(), "no login over loopback: the wire is broken, every case would fail");
    }

    void init()
    {
        folder = std::make_unique<QTemporaryDir>();
        QVERIFY(folder->isValid());
        program = QDir(folder->path()).filePath(u"kurvan-client"_s);
        QVERIFY(QFile::copy(QStringLiteral(KURVAN_CLIENT_PATH), program));
        runtimeDir = QDir(folder->path()).filePath(u"runtime"_s);
        QVERIFY(QDir().mkpath(runtimeDir));
        QFile::setPermissions(runtimeDir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        sim = std::make_unique<SimServer>();
        sim->setPassword(u"geheim"_s);
        QVERIFY(sim->listen(QHostAddress::LocalHost, 0));
    }

    void cleanup()
    {
        for (QProcess *client : std::as_const(clients)) {
            client->kill();
            client->waitForFinished(5000);
            delete client;
        }
        clients.clear();
        sim.reset();
        folder.reset();
    }

    void logsInAndSendsCommands()
    {
        writeIni(u"127.0.0.1"_s, QString::number(sim->port()));
        startClient();
        logIn();
        const QStringList got = sim->received();
        QCOMPARE(got.first(), u"Password=geheim"_s);
        QCOMPARE(got.mid(1, 4), words("GetVersion GetType GetCredit GetPlayStatus"));

        const QString panel = window(u"Kurvan"_s);
        QVERIFY(!panel.isEmpty());
        QTRY_VERIFY(visibleWindows(u"Serveradresse"_s).isEmpty());
        QCOMPARE(xdotool({u"getwindowgeometry"_s, panel}).contains(u"412x357"_s), true);

        // "+" and the next-title button, clicked where the panel shows them.
        sim->clearReceived();
        clickAt(panel, 292, 77);
        QVERIFY(simReceived(u"AddCredit|1"_s));
        clickAt(panel, 356, 300);
        QVERIFY(simReceived(u"CtrlN\u00E4chsterTitel"_s));
        // The panel keeps polling.
        sim->clearReceived();
        QVERIFY(simReceived(u"GetPlayStatus"_s, 10000));
    }

    void emptyPasswordIsAccepted()
    {
        writeIni(u"127.0.0.1"_s, QString::number(sim->port()));
        startClient();
        const QString dialog = window(u"Serveradresse"_s);
        typeInto(dialog, {u"@Return"_s});
        QVERIFY(simReceived(u"Password="_s));
        QVERIFY(!window(u"Kurvan"_s).isEmpty());
    }

    void refusedPortTimesOutThenASecondAttemptConnects()
    {
        writeIni(u"127.0.0.1"_s, QString::number(closedPort()));
        startClient();
        const QString dialog = window(u"Serveradresse"_s);
        QElapsedTimer clock;
        typeInto(dialog, {u"@Return"_s});
        clock.start();
        const QString box = window(u"Kurvan Client"_s, 20000);
        QVERIFY(!box.isEmpty());
        QVERIFY2(clock.elapsed() >= 4900, qPrintable(QString::number(clock.elapsed()))); // never before 5 s
        QCOMPARE(QFile(ini()).exists(), true);
        typeInto(box, {u"@Return"_s});
        QTRY_VERIFY(visibleWindows(u"Kurvan Client"_s).isEmpty());

        // Correct the port and try again: a fresh attempt that logs in.
        clickAt(dialog, 150, 36);
        typeInto(dialog, {u"@ctrl+a"_s, QString::number(sim->port()), u"@Return"_s});
        QVERIFY(simReceived(u"Password="_s));
        QVERIFY(!window(u"Kurvan"_s).isEmpty());
        QVERIFY(fileBytes(ini()).contains("Port=" + QByteArray::number(sim->port())));
    }

    void startsWithoutSettingsAndWritesNothingBeforeAClick()
    {
        QProcess *client = startClient();
        QVERIFY(!window(u"Serveradresse"_s).isEmpty());
        QVERIFY(!QFile::exists(ini()));
        client->terminate();
        QVERIFY(client->waitForFinished(10000));
        QVERIFY(!QFile::exists(ini()));
        QVERIFY(sim->received().isEmpty());
    }

    void secondCopyEndsAtOnceAndADeadCopyDoesNotBlock()
    {
        QProcess *first = startClient();
        QVERIFY(!window(u"Serveradresse"_s).isEmpty());
        QProcess *second = startClient();
        QVERIFY(second->waitForFinished(15000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(visibleWindows(u"Serveradresse"_s).size(), 1);
        QCOMPARE(first->state(), QProcess::Running);

        // A copy that died leaves its lock behind; the next start takes it over.
        first->kill();
        QVERIFY(first->waitForFinished(5000));
        QProcess *third = startClient();
        QVERIFY(!window(u"Serveradresse"_s).isEmpty());
        QCOMPARE(third->state(), QProcess::Running);
    }

    void versionAndHelpAnswerWithoutAWindowOrTheLock()
    {
        // A running copy holds the lock: a second start would end silently, printing nothing.
        startClient();
        QVERIFY(!window(u"Serveradresse"_s).isEmpty());
        // Without a display a window could not even be tried.
        QProcessEnvironment env = clientEnvironment();
        env.remove(u"DISPLAY"_s);
        QCOMPARE(printed(program, {u"--version"_s}, env), QStringLiteral("kurvan-client " KURVAN_VERSION "\n"));
        const QString help = printed(program, {u"-x"_s, u"--help"_s}, env);
        QVERIFY2(help.startsWith(u"Aufruf: kurvan-client"_s), qPrintable(help));
        QCOMPARE(visibleWindows(u"Serveradresse"_s).size(), 1);
        QVERIFY(!QFile::exists(ini()));
    }

    void startsAndLogsInWithoutASessionBus()
    {
        writeIni(u"127.0.0.1"_s, QString::number(sim->port()));
        QProcessEnvironment env = clientEnvironment();
        env.remove(u"DBUS_SESSION_BUS_ADDRESS"_s);
        QProcess *client = startClient(env, QProcess::SeparateChannels);
        logIn();
        QVERIFY(!window(u"Kurvan"_s).isEmpty());
        sim->clearReceived();
        QVERIFY(nextPoll());
        QCOMPARE(client->state(), QProcess::Running);
        QCOMPARE(QString::fromLocal8Bit(client->readAllStandardError()), QString());
    }

#ifdef KURVAN_WITH_MPRIS
    void desktopSeesWhatTheJukeboxPlays()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("needs a session bus: run under dbus-run-session");
        writeIni(u"127.0.0.1"_s, QString::number(sim->port()));
        startClient();
        // Offered from the start, before any panel: nothing plays yet.
        QVERIFY(playerctlShows("status", u"Stopped"_s));
        logIn();
        QVERIFY(playerctlShows("status", u"Playing"_s));
        QVERIFY(playerctlShows("metadata title", u"Mein Lied"_s));
        QVERIFY(playerctlShows("volume", u"0.500000"_s));

        // The jukebox moves on by itself: the title follows before a second poll has gone out.
        const QString firstTrack = playerctl("metadata mpris:trackid");
        sim->clearReceived();
        sim->model().nextTitle();
        QVERIFY(playerctlShows("metadata title", u"Der fr\u00F6hliche Wanderer"_s));
        QVERIFY(sim->received().count(u"GetPlayStatus"_s) <= 1);
        const QString secondTrack = playerctl("metadata mpris:trackid");
        QVERIFY(!firstTrack.isEmpty());
        QVERIFY(!secondTrack.isEmpty());
        QVERIFY(secondTrack != firstTrack);

        sim->model().stop();
        QVERIFY(playerctlShows("status", u"Stopped"_s));
        sim->model().play();
        QVERIFY(playerctlShows("status", u"Playing"_s));
    }

    void mediaKeysActAsThePanelsButtons()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("needs a session bus: run under dbus-run-session");
        writeIni(u"127.0.0.1"_s, QString::number(sim->port()));
        startClient();
        logIn();
        QVERIFY(playerctlShows("status", u"Playing"_s));

        sim->clearReceived();
        playerctl("next");
        QVERIFY(simReceived(u"CtrlN\u00E4chsterTitel"_s));
        playerctl("previous");
        QVERIFY(simReceived(u"CtrlVorherigerTitel"_s));

        // The volume goes out once, after the bar's rest, as a move of the bar would.
        playerctl("volume 0.3");
        QVERIFY(simReceived(u"SetVolume|30"_s));
        QVERIFY(nextPoll());
        QCOMPARE(sim->received().filter(u"SetVolume"_s), QStringList{u"SetVolume|30"_s});
        QCOMPARE(sim->model().volume(), 30);

        playerctl("stop");
        QVERIFY(simReceived(u"CtrlStop"_s));
        QVERIFY(playerctlShows("status", u"Stopped"_s));
    }
#endif
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "TestEndToEnd.moc"
