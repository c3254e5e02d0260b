#include "SimServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

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

    QString ini() const { return QDir(folder->path()).filePath(QStringLiteral("Kurvan.ini")); }

    void writeIni(const QString &address, const QString &port)
    {
        QFile file(ini());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Settings]\r\nLastIP=" + address.toLatin1() + "\r\nPort=" + port.toLatin1() + "\r\n");
    }

    QProcess *startClient()
    {
        auto *client = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM")); // the real window system of the X server
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
        client->setProcessEnvironment(env);
        client->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        client->start(program, {});
        client->waitForStarted(10000);
        clients << client;
        return client;
    }

    static QString xdotool(const QStringList &args, int timeoutMs = 15000)
    {
        QProcess xdo;
        xdo.start(QStringLiteral("xdotool"), args);
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
        const QString ids = xdotool({QStringLiteral("search"), QStringLiteral("--sync"),
                                     QStringLiteral("--onlyvisible"), QStringLiteral("--name"), u'^' + title + u'$'},
                                    timeoutMs);
        return ids.section(u'\n', 0, 0);
    }
    static QStringList visibleWindows(const QString &title)
    {
        const QString ids = xdotool(
            {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), u'^' + title + u'$'});
        return ids.isEmpty() ? QStringList() : ids.split(u'\n');
    }
    static void typeInto(const QString &win, const QStringList &keysThenText)
    {
        xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), win});
        for (const QString &step : keysThenText) {
            if (step.startsWith(u'@'))
                xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), step.mid(1)});
            else
                xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("15"), step});
        }
    }
    static void clickAt(const QString &win, int x, int y)
    {
        xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), win, QString::number(x), QString::number(y)});
        xdotool({QStringLiteral("click"), QStringLiteral("1")});
    }

    bool simReceived(const QString &text, int timeoutMs = 15000)
    {
        QElapsedTimer clock;
        clock.start();
        while (!sim->received().contains(text)) {
            if (clock.elapsed() > timeoutMs)
                return false;
            QTest::qWait(20);
        }
        return true;
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs an X server: run under xvfb-run");
    }

    void init()
    {
        folder = std::make_unique<QTemporaryDir>();
        QVERIFY(folder->isValid());
        program = QDir(folder->path()).filePath(QStringLiteral("kurvan-client"));
        QVERIFY(QFile::copy(QStringLiteral(KURVAN_CLIENT_PATH), program));
        runtimeDir = QDir(folder->path()).filePath(QStringLiteral("runtime"));
        QVERIFY(QDir().mkpath(runtimeDir));
        QFile::setPermissions(runtimeDir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        sim = std::make_unique<SimServer>();
        sim->setPassword(QStringLiteral("geheim"));
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
        writeIni(QStringLiteral("127.0.0.1"), QString::number(sim->port()));
        startClient();
        const QString dialog = window(QStringLiteral("Serveradresse"));
        QVERIFY(!dialog.isEmpty());
        // Focus order: address, port, "Verbinden", password; Enter presses "Verbinden".
        typeInto(dialog, {QStringLiteral("@Tab"), QStringLiteral("@Tab"), QStringLiteral("@Tab"),
                          QStringLiteral("geheim"), QStringLiteral("@Return")});
        QVERIFY(simReceived(QStringLiteral("GetSongPos")) || simReceived(QStringLiteral("GetPlayStatus")));
        const QStringList got = sim->received();
        QCOMPARE(got.first(), QStringLiteral("Password=geheim"));
        QCOMPARE(got.mid(1, 4), (QStringList{QStringLiteral("GetVersion"), QStringLiteral("GetType"),
                                             QStringLiteral("GetCredit"), QStringLiteral("GetPlayStatus")}));

        const QString panel = window(QStringLiteral("Kurvan"));
        QVERIFY(!panel.isEmpty());
        QTRY_VERIFY(visibleWindows(QStringLiteral("Serveradresse")).isEmpty());
        QCOMPARE(xdotool({QStringLiteral("getwindowgeometry"), panel}).contains(QStringLiteral("412x357")), true);

        // "+" and the next-title button, clicked where the panel shows them.
        sim->clearReceived();
        clickAt(panel, 292, 77);
        QVERIFY(simReceived(QStringLiteral("AddCredit|1")));
        clickAt(panel, 356, 300);
        QVERIFY(simReceived(QStringLiteral("CtrlN\u00E4chsterTitel")));
        // The panel keeps polling.
        sim->clearReceived();
        QVERIFY(simReceived(QStringLiteral("GetPlayStatus"), 10000));
    }

    void emptyPasswordIsAccepted()
    {
        writeIni(QStringLiteral("127.0.0.1"), QString::number(sim->port()));
        startClient();
        const QString dialog = window(QStringLiteral("Serveradresse"));
        typeInto(dialog, {QStringLiteral("@Return")});
        QVERIFY(simReceived(QStringLiteral("Password=")));
        QVERIFY(!window(QStringLiteral("Kurvan")).isEmpty());
    }

    void refusedPortTimesOutThenASecondAttemptConnects()
    {
        quint16 closedPort = 0;
        {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost, 0);
            closedPort = probe.serverPort();
        }
        writeIni(QStringLiteral("127.0.0.1"), QString::number(closedPort));
        startClient();
        const QString dialog = window(QStringLiteral("Serveradresse"));
        QElapsedTimer clock;
        typeInto(dialog, {QStringLiteral("@Return")});
        clock.start();
        const QString box = window(QStringLiteral("Kurvan Client"), 20000);
        QVERIFY(!box.isEmpty());
        QVERIFY2(clock.elapsed() >= 4900, qPrintable(QString::number(clock.elapsed()))); // never before 5 s
        QCOMPARE(QFile(ini()).exists(), true);
        typeInto(box, {QStringLiteral("@Return")});
        QTRY_VERIFY(visibleWindows(QStringLiteral("Kurvan Client")).isEmpty());

        // Correct the port and try again: a fresh attempt that logs in.
        clickAt(dialog, 150, 36);
        typeInto(dialog, {QStringLiteral("@ctrl+a"), QString::number(sim->port()), QStringLiteral("@Return")});
        QVERIFY(simReceived(QStringLiteral("Password=")));
        QVERIFY(!window(QStringLiteral("Kurvan")).isEmpty());
        QFile file(ini());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("Port=" + QByteArray::number(sim->port())));
    }

    void startsWithoutSettingsAndWritesNothingBeforeAClick()
    {
        QProcess *client = startClient();
        QVERIFY(!window(QStringLiteral("Serveradresse")).isEmpty());
        QVERIFY(!QFile::exists(ini()));
        client->terminate();
        QVERIFY(client->waitForFinished(10000));
        QVERIFY(!QFile::exists(ini()));
        QVERIFY(sim->received().isEmpty());
    }

    void secondCopyEndsAtOnceAndADeadCopyDoesNotBlock()
    {
        QProcess *first = startClient();
        QVERIFY(!window(QStringLiteral("Serveradresse")).isEmpty());
        QProcess *second = startClient();
        QVERIFY(second->waitForFinished(15000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(visibleWindows(QStringLiteral("Serveradresse")).size(), 1);
        QCOMPARE(first->state(), QProcess::Running);

        // A copy that died leaves its lock behind; the next start takes it over.
        first->kill();
        QVERIFY(first->waitForFinished(5000));
        QProcess *third = startClient();
        QVERIFY(!window(QStringLiteral("Serveradresse")).isEmpty());
        QCOMPARE(third->state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "TestEndToEnd.moc"
