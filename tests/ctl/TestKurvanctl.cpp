#include "PanelFixture.h"
#include "SimServer.h"
#include "ctl/Texts.h"
#include "session/JukeboxSession.h"
#include "session/SessionReconnector.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// The real kurvanctl against the simulator on 127.0.0.1: the frames it puts on the wire and its
// exit codes. It runs as a copy in a folder of its own, so no Kurvan.ini of the build or the
// user decides where it connects.
class TestKurvanctl : public QObject
{
    Q_OBJECT

    // The longest a run may take: a connection, a login answer and a confirmation that never
    // come, each with its own limit, and a margin for a loaded machine.
    static constexpr int kRunLimit = JukeboxSession::kConnectTimeout * 2 + JukeboxSession::kConfirmTimeout * 2 + 10000;
    // The longest password a login frame can carry: all of it but "Password=".
    static constexpr qsizetype kMaxPasswordBytes = 65535 - 9;

    QTemporaryDir folder;
    QString program;
    std::unique_ptr<SimServer> sim;
    quint16 port = 0; // the simulator's, also once it has closed

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString &name : env.keys())
            if (name.startsWith(QStringLiteral("KURVAN_")))
                env.remove(name);
        env.insert(QStringLiteral("HOME"), folder.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("KURVAN_HOST"), QStringLiteral("127.0.0.1"));
        env.insert(QStringLiteral("KURVAN_PORT"), QString::number(port));
        env.insert(QStringLiteral("KURVAN_PASSWORD"), SimServer::kDefaultPassword);
        return env;
    }

    struct Run
    {
        int exitCode = -1;
        QString out;
        QString err;
    };
    Run run(const QStringList &arguments, const QProcessEnvironment &env, const QByteArray &input = {},
            const QString &runner = {})
    {
        QProcess process;
        process.setProcessEnvironment(env);
        QSignalSpy finished(&process, &QProcess::finished);
        process.start(runner.isEmpty() ? program : runner, arguments);
        process.write(input);
        process.closeWriteChannel(); // standard input is a pipe, never a terminal
        // The simulator lives in this thread: wait with the event loop running.
        if (!finished.wait(kRunLimit)) {
            process.kill();
            process.waitForFinished();
            return {};
        }
        // Windows writes text lines with CR LF.
        const auto text = [](const QByteArray &bytes) {
            return QString::fromUtf8(bytes).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        };
        return {process.exitCode(), text(process.readAllStandardOutput()), text(process.readAllStandardError())};
    }
    Run run(const QStringList &arguments) { return run(arguments, environment()); }

    QStringList commands() const { return commandsReceived(*sim); }

private slots:
    void initTestCase()
    {
        QVERIFY(folder.isValid());
        program = folder.filePath(QFileInfo(QStringLiteral(KURVANCTL_PATH)).fileName()); // ".exe" on Windows
        QVERIFY(QFile::copy(QStringLiteral(KURVANCTL_PATH), program));
        // A TLS backend that travels with the program (Windows) goes along into its folder.
        const QString backend = QFileInfo(QStringLiteral(KURVANCTL_PATH)).dir().filePath(QStringLiteral("tls"));
        for (const QFileInfo &plugin : QDir(backend).entryInfoList(QDir::Files)) {
            QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("tls")));
            QVERIFY(QFile::copy(plugin.filePath(), folder.filePath(QStringLiteral("tls/")) + plugin.fileName()));
        }
    }

    void init()
    {
        sim = std::make_unique<SimServer>();
        QVERIFY(sim->listen(QHostAddress::LocalHost));
        port = sim->port();
    }

    void commandPutsItsFramesOnTheWire_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("jukebox");
        QTest::addColumn<QStringList>("frames");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");

        const QString addOne = Msg::AddCredit;
        QTest::newRow("status") << QStringList{QStringLiteral("status")} << QString() << QStringList() << 0
                                << QStringLiteral("Lautst\u00E4rke: 50\n");
        QTest::newRow("status, a value missing")
            << QStringList{QStringLiteral("status"), QStringLiteral("--json")} << QStringLiteral("no volume")
            << QStringList() << 1 << QStringLiteral("\"volume\":null");
        QTest::newRow("credit +2") << QStringList{QStringLiteral("credit"), QStringLiteral("+2")} << QString()
                                   << QStringList{addOne, addOne} << 0 << QStringLiteral("Credits: 5\n");
        QTest::newRow("credit, exactly all") << QStringList{QStringLiteral("credit"), QStringLiteral("-3")} << QString()
                                             << QStringList{Msg::RemoveCredit, Msg::RemoveCredit, Msg::RemoveCredit}
                                             << 0 << QStringLiteral("Credits: 0\n");
        QTest::newRow("credit below 0") << QStringList{QStringLiteral("credit"), QStringLiteral("-4")} << QString()
                                        << QStringList() << 1 << QStringLiteral("Credits: 3\n");
        QTest::newRow("credit unconfirmed")
            << QStringList{QStringLiteral("credit"), QStringLiteral("+1")} << QStringLiteral("ignores commands")
            << QStringList{addOne} << 1 << QStringLiteral("Credits: 3\n");
        QTest::newRow("next") << QStringList{QStringLiteral("next")} << QString() << QStringList{Msg::NextTitle} << 0
                              << QStringLiteral("Titel: ");
        QTest::newRow("prev while stopped")
            << QStringList{QStringLiteral("prev")} << QStringLiteral("stopped") << QStringList() << 1 << QString();
        QTest::newRow("stop") << QStringList{QStringLiteral("stop")} << QString() << QStringList{Msg::Stop} << 0
                              << QStringLiteral("Wiedergabe gestoppt\n");
        QTest::newRow("credit, jukebox closes")
            << QStringList{QStringLiteral("credit"), QStringLiteral("+1")} << QStringLiteral("closes on command")
            << QStringList{addOne} << 3 << QString();
        QTest::newRow("next, jukebox closes")
            << QStringList{QStringLiteral("next")} << QStringLiteral("closes on command") << QStringList{Msg::NextTitle}
            << 3 << QString();
        QTest::newRow("volume") << QStringList{QStringLiteral("volume")} << QString() << QStringList() << 0
                                << QStringLiteral("Lautst\u00E4rke: 50\n");
        QTest::newRow("volume 30") << QStringList{QStringLiteral("volume"), QStringLiteral("30")} << QString()
                                   << QStringList{Msg::SetVolumePrefix + QStringLiteral("30")} << 0
                                   << QStringLiteral("Lautst\u00E4rke: 30\n");
        QTest::newRow("volume as it is") << QStringList{QStringLiteral("volume"), QStringLiteral("50")} << QString()
                                         << QStringList() << 0 << QString();
        QTest::newRow("volume +70 clamped")
            << QStringList{QStringLiteral("volume"), QStringLiteral("+70")} << QString()
            << QStringList{Msg::SetVolumePrefix + QStringLiteral("100")} << 0 << QString();
        QTest::newRow("volume -20") << QStringList{QStringLiteral("volume"), QStringLiteral("-20"),
                                                   QStringLiteral("--json")}
                                    << QString() << QStringList{Msg::SetVolumePrefix + QStringLiteral("30")} << 0
                                    << QStringLiteral("\"volume\":30");
        QTest::newRow("quit with --yes") << QStringList{QStringLiteral("quit-jukebox"), QStringLiteral("--yes")}
                                         << QString() << QStringList{Msg::Quit} << 0 << QString();
        QTest::newRow("password refused") << QStringList{QStringLiteral("status")} << QStringLiteral("other password")
                                          << QStringList() << 4 << QString();
        QTest::newRow("nobody listening") << QStringList{QStringLiteral("volume"), QStringLiteral("30")}
                                          << QStringLiteral("gone") << QStringList() << 3 << QString();
        // Help needs no jukebox: nothing goes out.
        QTest::newRow("-h") << QStringList{QStringLiteral("-h")} << QString() << QStringList() << 0
                            << CtlText::UsageHead;
        QTest::newRow("-V") << QStringList{QStringLiteral("-V")} << QString() << QStringList() << 0
                            << QStringLiteral("kurvanctl ");
        QTest::newRow("help watch") << QStringList{QStringLiteral("help"), QStringLiteral("watch")} << QString()
                                    << QStringList() << 0 << QStringLiteral("  --reconnect");
        QTest::newRow("login unanswered")
            << QStringList{QStringLiteral("status"), QStringLiteral("--json")} << QStringLiteral("silent")
            << QStringList() << 3 << QStringLiteral("\"connected\":false");
    }
    void commandPutsItsFramesOnTheWire()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, jukebox);
        QFETCH(QStringList, frames);
        QFETCH(int, exitCode);
        QFETCH(QString, output);

        if (jukebox == QStringLiteral("no volume"))
            sim->faults().withheldValues = {Msg::Volume};
        else if (jukebox == QStringLiteral("ignores commands"))
            sim->faults().ignoreCommands = true;
        else if (jukebox == QStringLiteral("stopped"))
            sim->model().stop();
        else if (jukebox == QStringLiteral("other password"))
            sim->setPassword(QStringLiteral("anders"));
        else if (jukebox == QStringLiteral("gone"))
            sim->close();
        else if (jukebox == QStringLiteral("silent"))
            sim->faults().withholdLogin = true;
        else if (jukebox == QStringLiteral("closes on command")) {
            // Takes the command, then goes away before confirming it.
            sim->faults().ignoreCommands = true;
            connect(
                sim.get(), &SimServer::messageReceived, sim.get(),
                [this](const QString &text) {
                    if (!text.startsWith(Msg::GetPrefix) && !text.startsWith(Msg::PasswordPrefix))
                        sim->close();
                },
                Qt::QueuedConnection);
        }

        const Run result = run(arguments);
        QCOMPARE(result.exitCode, exitCode);
        QCOMPARE(commands(), frames);
        QVERIFY2(result.out.contains(output), qPrintable(result.out));
        // Every failure says so in one line; success says nothing there. With --json the state
        // is one line, whatever happened; without, a lost link prints no state.
        QCOMPARE(result.err.count(u'\n'), exitCode == 0 ? 0 : 1);
        if (arguments.contains(u"--json"_s))
            QCOMPARE(result.out.count(u'\n'), 1);
        else if (exitCode == 3)
            QCOMPARE(result.out, QString());
        // A refusal is known at once: its line speaks of nobody there, not of 5 s of waiting.
        if (jukebox == QStringLiteral("gone"))
            QCOMPARE(result.err, CtlText::NobodyListening.arg(QStringLiteral("127.0.0.1:%1").arg(port)) + u'\n');
    }

    // Wrong use is found before anything connects.
    void wrongUseConnectsNowhere_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("no command") << QStringList();
        QTest::newRow("unknown command") << QStringList{QStringLiteral("play")};
        QTest::newRow("credit without sign") << QStringList{QStringLiteral("credit"), QStringLiteral("5")};
        QTest::newRow("credit of 100") << QStringList{QStringLiteral("credit"), QStringLiteral("+100")};
        QTest::newRow("volume 101") << QStringList{QStringLiteral("volume"), QStringLiteral("101")};
        QTest::newRow("password on the line") << QStringList{QStringLiteral("--password"), QStringLiteral("x")};
        QTest::newRow("quit without terminal") << QStringList{QStringLiteral("quit-jukebox")};
        QTest::newRow("port not a number") << QStringList{QStringLiteral("status"), QStringLiteral("--port=abc")};
        QTest::newRow("help for no command") << QStringList{QStringLiteral("help"), QStringLiteral("play")};
        QTest::newRow("listen neither address nor port")
            << QStringList{QStringLiteral("serve"), QStringLiteral("--listen"), QStringLiteral("8623x")};
        QTest::newRow("password line one byte too long")
            << QStringList{QStringLiteral("--password-file"), QStringLiteral("LONGFILE"), QStringLiteral("status")};
#ifdef Q_OS_LINUX
        QTest::newRow("endless password file")
            << QStringList{QStringLiteral("--password-file"), QStringLiteral("/dev/zero"), QStringLiteral("status")};
#endif
    }
    void wrongUseConnectsNowhere()
    {
        QFETCH(QStringList, arguments);
        QFile tooLong(folder.filePath(QStringLiteral("long.txt")));
        QVERIFY(tooLong.open(QIODevice::WriteOnly) && tooLong.write(QByteArray(kMaxPasswordBytes + 1, 'a') + '\n') > 0);
        tooLong.close();
        arguments.replaceInStrings(QStringLiteral("LONGFILE"), tooLong.fileName());
        QSignalSpy connected(sim.get(), &SimServer::clientConnected);
        const Run result = run(arguments);
        QCOMPARE(result.exitCode, 2);
        QCOMPARE(result.err.count(u'\n'), 1);
        QVERIFY(connected.isEmpty());
    }

    // serve stops at the start, with one line that names the problem, for whatever it cannot
    // use: nothing connects to the jukebox, nothing listens. 192.0.2.1 is no address of this
    // computer, so a serve that went on would fail to listen there (exit 3), never reach it.
    void serveRefusesWhatItCannotUse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("says");
        const QString away = QStringLiteral("192.0.2.1:8620");
        const auto tls = [](const char *cert, const char *key) {
            return QStringList{QStringLiteral("--listen"), QStringLiteral("127.0.0.1:1"), QStringLiteral("--tls-cert"),
                               QString::fromLatin1(cert),  QStringLiteral("--tls-key"),   QString::fromLatin1(key)};
        };
        QTest::newRow("no password beyond this computer") << QStringList{QStringLiteral("--listen"), away} << QString()
                                                          << 2 << QStringLiteral("--allow-empty-password");
        QTest::newRow("no password, allowed on purpose")
            << QStringList{QStringLiteral("--listen"), away, QStringLiteral("--allow-empty-password")} << QString() << 3
            << QStringLiteral("192.0.2.1");
        QTest::newRow("a host name that is none") << QStringList{QStringLiteral("--allow-host"), QStringLiteral("a b")}
                                                  << QStringLiteral("x") << 2 << QStringLiteral("a b");
        QTest::newRow("certificate missing")
            << tls("DIR/nix.crt", "DIR/a.key") << QStringLiteral("x") << 2 << QStringLiteral("nix.crt");
        QTest::newRow("certificate not PEM")
            << tls("DIR/a.key", "DIR/a.key") << QStringLiteral("x") << 2 << QStringLiteral("Zertifikat");
        QTest::newRow("key encrypted") << tls("DIR/a.crt", "DIR/enc.key") << QStringLiteral("x") << 2
                                       << QStringLiteral("Passphrase");
        QTest::newRow("key of another certificate")
            << tls("DIR/a.crt", "DIR/b.key") << QStringLiteral("x") << 2 << QStringLiteral("passen nicht zusammen");
    }
    void serveRefusesWhatItCannotUse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, password);
        QFETCH(int, exitCode);
        QFETCH(QString, says);
        // Two certificates with their keys, and an encrypted key, made by the openssl tool.
        const QString dir = folder.filePath(QStringLiteral("tls"));
        const bool tls = arguments.contains(QStringLiteral("--tls-cert"));
        if (tls && QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty())
            QSKIP("no openssl tool to make certificates with here");
        if (tls && !QFileInfo::exists(dir)) {
            QDir().mkpath(dir);
            const auto openssl = [&](const QStringList &words) {
                return QProcess::execute(QStringLiteral("openssl"), words) == 0;
            };
            for (const QString &name : {QStringLiteral("a"), QStringLiteral("b")})
                QVERIFY(openssl(
                    {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                     QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:P-256"), QStringLiteral("-nodes"),
                     QStringLiteral("-keyout"), dir + u'/' + name + QStringLiteral(".key"), QStringLiteral("-out"),
                     dir + u'/' + name + QStringLiteral(".crt"), QStringLiteral("-subj"), QStringLiteral("/CN=") + name,
                     QStringLiteral("-days"), QStringLiteral("2")}));
            QVERIFY(openssl({QStringLiteral("pkey"), QStringLiteral("-in"), dir + QStringLiteral("/a.key"),
                             QStringLiteral("-aes256"), QStringLiteral("-passout"), QStringLiteral("pass:x"),
                             QStringLiteral("-out"), dir + QStringLiteral("/enc.key")}));
        }
        for (QString &word : arguments)
            word.replace(QStringLiteral("DIR"), dir);
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("KURVAN_PASSWORD"), password);
        QSignalSpy connected(sim.get(), &SimServer::clientConnected);
        const Run result = run(QStringList{QStringLiteral("serve")} + arguments, env);
        QCOMPARE(result.exitCode, exitCode);
        QVERIFY2(result.err.contains(says), qPrintable(result.err));
        QVERIFY(!result.err.contains(QStringLiteral("bereit")) && !result.out.contains(QStringLiteral("bereit")));
        QVERIFY(connected.isEmpty());
    }

    // Where the password and the address come from, the first source that has one winning:
    // each row changes the environment ("NAME=VALUE", or "NAME" to remove it) and may leave a
    // Kurvan.ini beside the program, where PORT is the simulator's port and CLOSED one that
    // nothing listens on; 127.0.0.2 is an address where nothing listens either.
    void findsThePasswordAndTheAddress_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QStringList>("env");
        QTest::addColumn<QByteArray>("ini");
        const auto row = [](const char *name, const QString &password, const QStringList &arguments,
                            const QStringList &env, const QByteArray &ini = {}, const QByteArray &input = {}) {
            QTest::newRow(name) << password << arguments << input << env << ini;
        };
        const QString standard = SimServer::kDefaultPassword;
        const QStringList file{u"--password-file"_s, u"FILE"_s};
        row("empty password", {}, {}, {u"KURVAN_PASSWORD="_s});
        row("file, first line", u"geheim"_s, file, {u"KURVAN_PASSWORD=falsch"_s});
        row("standard input", u"K\u00FCche"_s, {u"--password-file"_s, u"-"_s}, {u"KURVAN_PASSWORD"_s}, {},
            "K\xC3\xBC"
            "che\r\n");
        row("file, a line as long as a login allows", QString(kMaxPasswordBytes, u'a'), file, {u"KURVAN_PASSWORD="_s});
        row("remembered address", standard, {}, {u"KURVAN_HOST"_s, u"KURVAN_PORT"_s}, "LastIP=127.0.0.1\r\nPort=PORT");
        row("a port given beats the remembered one", standard, {}, {u"KURVAN_HOST"_s, u"KURVAN_PORT=PORT"_s},
            "LastIP=127.0.0.1\r\nPort=CLOSED");
        row("--host beats KURVAN_HOST", standard, {u"--host"_s, u"127.0.0.1"_s}, {u"KURVAN_HOST=127.0.0.2"_s});
    }
    void findsThePasswordAndTheAddress()
    {
        QFETCH(QString, password);
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(QStringList, env);
        QFETCH(QByteArray, ini);
        sim->setPassword(password);
        const QString port = QString::number(sim->port());
        QProcessEnvironment environment = this->environment();
        for (const QString &change : std::as_const(env)) {
            if (!change.contains(u'='))
                environment.remove(change);
            else
                environment.insert(change.section(u'=', 0, 0), change.section(u'=', 1).replace(u"PORT"_s, port));
        }
        const QString file = folder.filePath(u"password.txt"_s);
        QVERIFY(writeFileBytes(file, password.toUtf8() + "\nsecond line\n"));
        arguments.replaceInStrings(u"FILE"_s, file);
        const QString settings = folder.filePath(u"Kurvan.ini"_s);
        if (!ini.isEmpty())
            QVERIFY(writeFileBytes(
                settings, "[Settings]\r\n" +
                              ini.replace("CLOSED", QByteArray::number(closedPort())).replace("PORT", port.toLatin1()) +
                              "\r\n"));
        const Run result = run(arguments << u"volume"_s, environment, input);
        QFile::remove(settings);
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(sim->received().value(0), Msg::PasswordPrefix + password);
    }

    // The authority is made once and kept across starts; a start on another address gets a
    // server certificate for it from the same authority. The banner's QR code, read by a real
    // decoder, is the trust address it prints; --plain-http is plain and says so.
    void serveKeepsItsAuthorityAndItsCodeLeadsToTheTrustPage()
    {
        QProcessEnvironment env = environment();
        const QString state = folder.filePath(QStringLiteral("state"));
        env.insert(QStringLiteral("STATE_DIRECTORY"), state);
        const auto startServe = [&](const QString &address, const QStringList &more) {
            QProcess serve;
            serve.setProcessEnvironment(env);
            QTcpServer probe; // a free port, given back for serve to take
            if (!probe.listen(QHostAddress(address)))
                return QString();
            const QString listen = address + u':' + QString::number(probe.serverPort());
            probe.close();
            serve.start(program, QStringList{QStringLiteral("serve"), QStringLiteral("--listen"), listen} + more);
            QString out;
            (void)QTest::qWaitFor(
                [&] {
                    out += QString::fromUtf8(serve.readAllStandardOutput());
                    return out.contains(QStringLiteral("\n  ")) && out.endsWith(u'\n') &&
                           (out.contains(QStringLiteral("\u2588")) || !more.contains(QStringLiteral("--qr")));
                },
                kRunLimit);
            serve.kill();
            serve.waitForFinished();
            return out + QString::fromUtf8(serve.readAllStandardOutput() + serve.readAllStandardError());
        };
        const auto fileOf = [&](const QString &name) {
            QFile file(state + u'/' + name);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        const QStringList withQr{QStringLiteral("--tls"), QStringLiteral("--qr")};
        const QString first = startServe(QStringLiteral("127.0.0.1"), withQr);
        const QByteArray authority = fileOf(QStringLiteral("ca.pem"));
        const QByteArray server = fileOf(QStringLiteral("server.pem"));
        QVERIFY2(!authority.isEmpty() && first.contains(QStringLiteral("https://127.0.0.1:")), qPrintable(first));
        const QString fingerprint =
            QString::fromLatin1(QSslCertificate(authority).digest(QCryptographicHash::Sha256).toHex(':').toUpper());
        QVERIFY(first.contains(fingerprint));

        if (!QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty()) {
            // The half blocks as a bitmap, four pixels a module, for the decoder.
            QStringList rows;
            for (const QString &line : first.split(u'\n')) {
                static const QRegularExpression drawing(
                    QStringLiteral("^[ \u2580\u2584\u2588]*[\u2580\u2584\u2588][ \u2580\u2584\u2588]*$"));
                if (drawing.match(line).hasMatch()) {
                    QString top, bottom;
                    for (const QChar glyph : line) {
                        top +=
                            glyph == u'\u2588' || glyph == u'\u2580' ? QStringLiteral("1111") : QStringLiteral("0000");
                        bottom +=
                            glyph == u'\u2588' || glyph == u'\u2584' ? QStringLiteral("1111") : QStringLiteral("0000");
                    }
                    rows << top << top << top << top << bottom << bottom << bottom << bottom;
                }
            }
            const QString margin(rows.value(0).size(), u'0');
            rows = QStringList(16, margin) + rows + QStringList(16, margin);
            QFile image(folder.filePath(QStringLiteral("qr.pbm")));
            QVERIFY(image.open(QIODevice::WriteOnly));
            image.write(QStringLiteral("P1\n%1 %2\n%3\n")
                            .arg(rows.value(0).size())
                            .arg(rows.size())
                            .arg(rows.join(u'\n'))
                            .toLatin1());
            image.close();
            QProcess decoder;
            decoder.start(QStringLiteral("zbarimg"), {QStringLiteral("--raw"), QStringLiteral("-q"), image.fileName()});
            QVERIFY(decoder.waitForFinished(kRunLimit));
            const QString decoded = QString::fromUtf8(decoder.readAllStandardOutput()).trimmed();
            QVERIFY2(decoded.startsWith(QStringLiteral("http://127.0.0.1:")) &&
                         decoded.endsWith(QStringLiteral("/trust")) &&
                         first.contains(QStringLiteral(": ") + decoded + u'\n'),
                     qPrintable(decoded));
        }

        const QString moved = startServe(QStringLiteral("127.0.0.2"), {QStringLiteral("--tls")});
        QVERIFY2(moved.contains(fingerprint) && moved.contains(QStringLiteral("https://127.0.0.2:")),
                 qPrintable(moved));
        QCOMPARE(fileOf(QStringLiteral("ca.pem")), authority);
        const QSslCertificate reissued(fileOf(QStringLiteral("server.pem")));
        QVERIFY(reissued.toPem() != server &&
                reissued.subjectAlternativeNames().values(QSsl::IpAddressEntry).contains(QStringLiteral("127.0.0.2")));
        QCOMPARE(reissued.issuerInfo(QSslCertificate::CommonName),
                 QSslCertificate(authority).subjectInfo(QSslCertificate::CommonName));

        // One's own certificate instead of the authority's: https, no trust step to offer.
        const QString own = startServe(QStringLiteral("127.0.0.1"),
                                       {QStringLiteral("--tls-cert"), state + QStringLiteral("/server.pem"),
                                        QStringLiteral("--tls-key"), state + QStringLiteral("/server.key")});
        QVERIFY2(own.contains(QStringLiteral("https://127.0.0.1:")) && !own.contains(fingerprint), qPrintable(own));

        const QString plain = startServe(QStringLiteral("127.0.0.1"), {QStringLiteral("--plain-http")});
        QVERIFY2(plain.contains(QStringLiteral("http://127.0.0.1:")) &&
                     plain.contains(QStringLiteral("Warnung: --plain-http")) && !plain.contains(fingerprint),
                 qPrintable(plain));
    }

    void neverGuessesAnAddress()
    {
        QProcessEnvironment env = environment();
        env.remove(QStringLiteral("KURVAN_HOST"));
        const Run result = run({QStringLiteral("status")}, env);
        QCOMPARE(result.exitCode, 2);
        QVERIFY(result.err.contains(QStringLiteral("--host")));
    }

    void watchPrintsEachChangeUntilTheLinkIsLost()
    {
        QProcess watch;
        watch.setProcessEnvironment(environment());
        QSignalSpy finished(&watch, &QProcess::finished);
        watch.start(program, {QStringLiteral("watch"), QStringLiteral("--json")});
        QStringList lines;
        const auto readLines = [&] {
            while (watch.canReadLine())
                lines << QString::fromUtf8(watch.readLine()).trimmed();
        };
        connect(&watch, &QProcess::readyReadStandardOutput, this, readLines);
        QTRY_COMPARE_WITH_TIMEOUT(lines.size(), 1, JukeboxSession::kConnectTimeout * 2);
        sim->model().addCredit(2);
        QTRY_COMPARE_WITH_TIMEOUT(lines.size(), 2, JukeboxSession::kConfirmTimeout);
        sim->close();
        QVERIFY(finished.wait(JukeboxSession::kConfirmTimeout));
        readLines();
        QCOMPARE(watch.exitCode(), 3);
        QCOMPARE(lines.size(), 3);
        const auto field = [&](int line, const char *key) {
            return QJsonDocument::fromJson(lines.at(line).toUtf8()).object().value(QLatin1String(key));
        };
        QCOMPARE(field(0, "credits").toInt(), 3);
        QCOMPARE(field(1, "credits").toInt(), 5);
        QCOMPARE(field(2, "connected").toBool(), false);
        QCOMPARE(sim->received().count(Msg::GetPrefix + Msg::Credit), 2);
    }

    void watchReconnectsAndSaysSo()
    {
        QProcess watch;
        watch.setProcessEnvironment(environment());
        watch.start(program, {QStringLiteral("watch"), QStringLiteral("--reconnect")});
        QString text;
        connect(&watch, &QProcess::readyReadStandardOutput, this,
                [&] { text += QString::fromUtf8(watch.readAllStandardOutput()); });
        QTRY_VERIFY_WITH_TIMEOUT(text.contains(QStringLiteral("Credits: 3")), JukeboxSession::kConnectTimeout * 2);
        sim->close();
        QTRY_VERIFY_WITH_TIMEOUT(text.contains(QStringLiteral("Neuer Verbindungsversuch 1 in 1 s")),
                                 JukeboxSession::kConfirmTimeout);
        QVERIFY(text.contains(QStringLiteral("Verbindung zur Jukebox verloren")));
        QVERIFY(sim->listen(QHostAddress::LocalHost, port));
        QTRY_VERIFY_WITH_TIMEOUT(text.contains(QStringLiteral("Wieder verbunden")),
                                 SessionReconnector::kFirstDelay + JukeboxSession::kConnectTimeout * 2);
        // After the new login the state is reported afresh.
        QTRY_COMPARE_WITH_TIMEOUT(text.count(QStringLiteral("Credits: 3")), 2, JukeboxSession::kConfirmTimeout);
        QCOMPARE(watch.state(), QProcess::Running);
        watch.kill();
        watch.waitForFinished();
    }

    // What the jukebox names is data: it neither steers the terminal nor forges a line of its
    // own. And a watch whose reader has gone ends, quietly and with 0, while nothing changes.
    void jukeboxTextsReachNoTerminalRawAndWatchEndsWithItsReader()
    {
        sim->model().setSongs({{QStringLiteral("C:\\Musik\\\x1b[2J\aLied\r\nCredits: 999.mp3"), 215}});
        sim->model().setType(QStringLiteral("Demo\x1b]0;x\a"));
        const auto hasControl = [](const QString &text) {
            return std::any_of(text.begin(), text.end(),
                               [](QChar c) { return (c < u' ' && c != u'\n') || (c >= u'\x7f' && c <= u'\x9f'); });
        };
        const Run status = run({QStringLiteral("status")});
        QCOMPARE(status.exitCode, 0);
        QCOMPARE(status.out.count(u'\n'), 8);
        QVERIFY2(!hasControl(status.out), qPrintable(status.out));

        // watch | head -n 4, as a shell runs it: head takes the first report (title, playback,
        // credits, volume) and goes; pipefail makes a watch killed by SIGPIPE fail the pipeline.
        const QString bash = QStandardPaths::findExecutable(QStringLiteral("bash"));
        if (bash.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("head")).isEmpty())
            QSKIP("No shell with head to read from watch.");
        QProcess pipeline;
        pipeline.setProcessEnvironment(environment());
        QSignalSpy ended(&pipeline, &QProcess::finished);
        pipeline.start(bash,
                       {QStringLiteral("-c"), QStringLiteral("set -o pipefail; \"$0\" watch | head -n 4"), program});
        // Nothing changes at the jukebox: only the pipe can tell watch that nobody reads.
        QVERIFY(ended.wait(kRunLimit));
        const QString shown = QString::fromUtf8(pipeline.readAllStandardOutput());
        QVERIFY2(shown.endsWith(QStringLiteral("Lautst\u00E4rke: 50\n")), qPrintable(shown));
        QVERIFY2(!hasControl(shown), qPrintable(shown));
        QCOMPARE(pipeline.exitCode(), 0); // not SIGPIPE's 141
        QCOMPARE(pipeline.readAllStandardError(), QByteArray());
    }

    // At the password prompt, in a real terminal.
    void promptLeavesTheTerminalAsItWas_data()
    {
        QTest::addColumn<QByteArray>("keys");
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QString>("says");
        QTest::newRow("Ctrl+C") << QByteArray("\x03") << QStringLiteral("signal 2") << QString();
        QTest::newRow("a wrong password")
            << QByteArray("falsch\r") << QStringLiteral("exit 4") << CtlText::TypedPasswordRefused;
    }
    void promptLeavesTheTerminalAsItWas()
    {
        QFETCH(QByteArray, keys);
        QFETCH(QString, ending);
        QFETCH(QString, says);
#ifndef Q_OS_LINUX
        QSKIP("The pseudo-terminal is driven from Python's pty support on Linux.");
#endif
        QProcessEnvironment env = environment();
        env.remove(QStringLiteral("KURVAN_PASSWORD"));
        const Run result =
            run({QStringLiteral(PROMPT_IN_PTY), QString::fromLatin1(keys.toHex()), program, QStringLiteral("status")},
                env, {}, QStringLiteral("/usr/bin/python3"));
        QCOMPARE(result.out.section(u'\n', 0, 1), QStringLiteral("echo on\n") + ending);
        QVERIFY2(result.out.contains(says), qPrintable(result.out));
        QVERIFY2(!result.out.contains(QStringLiteral("KURVAN_PASSWORD")), qPrintable(result.out));
    }
};

QTEST_GUILESS_MAIN(TestKurvanctl)
#include "TestKurvanctl.moc"
