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
            if (name.startsWith(u"KURVAN_"_s))
                env.remove(name);
        env.insert(u"HOME"_s, folder.path());
        env.insert(u"XDG_CONFIG_HOME"_s, folder.filePath(u"config"_s));
        env.insert(u"KURVAN_HOST"_s, u"127.0.0.1"_s);
        env.insert(u"KURVAN_PORT"_s, QString::number(port));
        env.insert(u"KURVAN_PASSWORD"_s, SimServer::kDefaultPassword);
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
        const auto text = [](const QByteArray &bytes) { return QString::fromUtf8(bytes).replace(u"\r\n"_s, u"\n"_s); };
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

        // Each row: its words, the jukebox's behaviour, the frames it gets, the exit code, and
        // what standard output holds.
        const auto row = [](const char *name, const char *words, const char *jukebox, const QStringList &frames,
                            int exitCode, const QString &output = {}) {
            QTest::newRow(name) << QString::fromUtf8(words).split(u' ') << QString::fromLatin1(jukebox) << frames
                                << exitCode << output;
        };
        const QString add = Msg::AddCredit, remove = Msg::RemoveCredit, volume = Msg::SetVolumePrefix;
        const QString volume50 = u"Lautst\u00E4rke: 50\n"_s;
        row("status", "status", "", {}, 0, volume50);
        row("status, a value missing", "status --json", "no volume", {}, 1, u"\"volume\":null"_s);
        row("credit +2", "credit +2", "", {add, add}, 0, u"Credits: 5\n"_s);
        row("credit, exactly all", "credit -3", "", {remove, remove, remove}, 0, u"Credits: 0\n"_s);
        row("credit below 0", "credit -4", "", {}, 1, u"Credits: 3\n"_s);
        row("credit unconfirmed", "credit +1", "ignores commands", {add}, 1, u"Credits: 3\n"_s);
        row("next", "next", "", {Msg::NextTitle}, 0, u"Titel: "_s);
        row("prev while stopped", "prev", "stopped", {}, 1);
        row("stop", "stop", "", {Msg::Stop}, 0, u"Wiedergabe gestoppt\n"_s);
        row("credit, jukebox closes", "credit +1", "closes on command", {add}, 3);
        row("next, jukebox closes", "next", "closes on command", {Msg::NextTitle}, 3);
        row("volume", "volume", "", {}, 0, volume50);
        row("volume 30", "volume 30", "", {volume + u"30"_s}, 0, u"Lautst\u00E4rke: 30\n"_s);
        row("volume as it is", "volume 50", "", {}, 0);
        row("volume +70 clamped", "volume +70", "", {volume + u"100"_s}, 0);
        row("volume -20", "volume -20 --json", "", {volume + u"30"_s}, 0, u"\"volume\":30"_s);
        row("quit with --yes", "quit-jukebox --yes", "", {Msg::Quit}, 0);
        row("password refused", "status", "other password", {}, 4);
        row("nobody listening", "volume 30", "gone", {}, 3);
        // Help needs no jukebox: nothing goes out.
        row("-h", "-h", "", {}, 0, CtlText::UsageHead);
        row("-V", "-V", "", {}, 0, u"kurvanctl "_s);
        row("help watch", "help watch", "", {}, 0, u"  --reconnect"_s);
        row("login unanswered", "status --json", "silent", {}, 3, u"\"connected\":false"_s);
    }
    void commandPutsItsFramesOnTheWire()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, jukebox);
        QFETCH(QStringList, frames);
        QFETCH(int, exitCode);
        QFETCH(QString, output);

        if (jukebox == u"no volume"_s)
            sim->faults().withheldValues = {Msg::Volume};
        else if (jukebox == u"ignores commands"_s)
            sim->faults().ignoreCommands = true;
        else if (jukebox == u"stopped"_s)
            sim->model().stop();
        else if (jukebox == u"other password"_s)
            sim->setPassword(u"anders"_s);
        else if (jukebox == u"gone"_s)
            sim->close();
        else if (jukebox == u"silent"_s)
            sim->faults().withholdLogin = true;
        else if (jukebox == u"closes on command"_s) {
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
        if (jukebox == u"gone"_s)
            QCOMPARE(result.err, CtlText::NobodyListening.arg(u"127.0.0.1:%1"_s.arg(port)) + u'\n');
    }

    // Wrong use is found before anything connects.
    void wrongUseConnectsNowhere_data()
    {
        QTest::addColumn<QStringList>("arguments");
        const QList<std::pair<const char *, const char *>> rows{
            {"no command", ""},
            {"unknown command", "play"},
            {"credit without sign", "credit 5"},
            {"credit of 100", "credit +100"},
            {"volume 101", "volume 101"},
            {"password on the line", "--password x"},
            {"quit without terminal", "quit-jukebox"},
            {"port not a number", "status --port=abc"},
            {"help for no command", "help play"},
            {"listen neither address nor port", "serve --listen 8623x"},
            {"password line one byte too long", "--password-file LONGFILE status"},
#ifdef Q_OS_LINUX
            {"endless password file", "--password-file /dev/zero status"},
#endif
        };
        for (const auto &[name, words] : rows)
            QTest::newRow(name) << QString::fromLatin1(words).split(u' ', Qt::SkipEmptyParts);
    }
    void wrongUseConnectsNowhere()
    {
        QFETCH(QStringList, arguments);
        QFile tooLong(folder.filePath(u"long.txt"_s));
        QVERIFY(tooLong.open(QIODevice::WriteOnly) && tooLong.write(QByteArray(kMaxPasswordBytes + 1, 'a') + '\n') > 0);
        tooLong.close();
        arguments.replaceInStrings(u"LONGFILE"_s, tooLong.fileName());
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
        const QString away = u"192.0.2.1:8620"_s;
        const auto tls = [](const char *cert, const char *key) {
            return QStringList{u"--listen"_s,  u"127.0.0.1:1"_s,        u"--tls-cert"_s, QString::fromLatin1(cert),
                               u"--tls-key"_s, QString::fromLatin1(key)};
        };
        QTest::newRow("no password beyond this computer")
            << QStringList{u"--listen"_s, away} << QString() << 2 << u"--allow-empty-password"_s;
        QTest::newRow("no password, allowed on purpose")
            << QStringList{u"--listen"_s, away, u"--allow-empty-password"_s} << QString() << 3 << u"192.0.2.1"_s;
        QTest::newRow("a host name that is none")
            << QStringList{u"--allow-host"_s, u"a b"_s} << u"x"_s << 2 << u"a b"_s;
        QTest::newRow("certificate missing") << tls("DIR/nix.crt", "DIR/a.key") << u"x"_s << 2 << u"nix.crt"_s;
        QTest::newRow("certificate not PEM") << tls("DIR/a.key", "DIR/a.key") << u"x"_s << 2 << u"Zertifikat"_s;
        QTest::newRow("key encrypted") << tls("DIR/a.crt", "DIR/enc.key") << u"x"_s << 2 << u"Passphrase"_s;
        QTest::newRow("key of another certificate")
            << tls("DIR/a.crt", "DIR/b.key") << u"x"_s << 2 << u"passen nicht zusammen"_s;
    }
    void serveRefusesWhatItCannotUse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, password);
        QFETCH(int, exitCode);
        QFETCH(QString, says);
        // Two certificates with their keys, and an encrypted key, made by the openssl tool.
        const QString dir = folder.filePath(u"tls"_s);
        const bool tls = arguments.contains(u"--tls-cert"_s);
        if (tls && QStandardPaths::findExecutable(u"openssl"_s).isEmpty())
            QSKIP("no openssl tool to make certificates with here");
        if (tls && !QFileInfo::exists(dir)) {
            QDir().mkpath(dir);
            const auto openssl = [&](const QStringList &words) { return QProcess::execute(u"openssl"_s, words) == 0; };
            for (const QString &name : {u"a"_s, u"b"_s})
                QVERIFY(
                    openssl({u"req"_s, u"-x509"_s, u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s, u"ec_paramgen_curve:P-256"_s,
                             u"-nodes"_s, u"-keyout"_s, dir + u'/' + name + u".key"_s, u"-out"_s,
                             dir + u'/' + name + u".crt"_s, u"-subj"_s, u"/CN="_s + name, u"-days"_s, u"2"_s}));
            QVERIFY(openssl({u"pkey"_s, u"-in"_s, dir + u"/a.key"_s, u"-aes256"_s, u"-passout"_s, u"pass:x"_s,
                             u"-out"_s, dir + u"/enc.key"_s}));
        }
        for (QString &word : arguments)
            word.replace(u"DIR"_s, dir);
        QProcessEnvironment env = environment();
        env.insert(u"KURVAN_PASSWORD"_s, password);
        QSignalSpy connected(sim.get(), &SimServer::clientConnected);
        const Run result = run(QStringList{u"serve"_s} + arguments, env);
        QCOMPARE(result.exitCode, exitCode);
        QVERIFY2(result.err.contains(says), qPrintable(result.err));
        QVERIFY(!result.err.contains(u"bereit"_s) && !result.out.contains(u"bereit"_s));
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
        const QString state = folder.filePath(u"state"_s);
        env.insert(u"STATE_DIRECTORY"_s, state);
        const auto startServe = [&](const QString &address, const QStringList &more) {
            QProcess serve;
            serve.setProcessEnvironment(env);
            QTcpServer probe; // a free port, given back for serve to take
            if (!probe.listen(QHostAddress(address)))
                return QString();
            const QString listen = address + u':' + QString::number(probe.serverPort());
            probe.close();
            serve.start(program, QStringList{u"serve"_s, u"--listen"_s, listen} + more);
            QString out;
            (void)QTest::qWaitFor(
                [&] {
                    out += QString::fromUtf8(serve.readAllStandardOutput());
                    return out.contains(u"\n  "_s) && out.endsWith(u'\n') &&
                           (out.contains(u"\u2588"_s) || !more.contains(u"--qr"_s));
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
        const QStringList withQr{u"--tls"_s, u"--qr"_s};
        const QString first = startServe(u"127.0.0.1"_s, withQr);
        const QByteArray authority = fileOf(u"ca.pem"_s);
        const QByteArray server = fileOf(u"server.pem"_s);
        QVERIFY2(!authority.isEmpty() && first.contains(u"https://127.0.0.1:"_s), qPrintable(first));
        const QString fingerprint =
            QString::fromLatin1(QSslCertificate(authority).digest(QCryptographicHash::Sha256).toHex(':').toUpper());
        QVERIFY(first.contains(fingerprint));

        if (!QStandardPaths::findExecutable(u"zbarimg"_s).isEmpty()) {
            // The half blocks as a bitmap, four pixels a module, for the decoder.
            QStringList rows;
            for (const QString &line : first.split(u'\n')) {
                static const QRegularExpression drawing(
                    u"^[ \u2580\u2584\u2588]*[\u2580\u2584\u2588][ \u2580\u2584\u2588]*$"_s);
                if (drawing.match(line).hasMatch()) {
                    QString top, bottom;
                    for (const QChar glyph : line) {
                        top += glyph == u'\u2588' || glyph == u'\u2580' ? u"1111"_s : u"0000"_s;
                        bottom += glyph == u'\u2588' || glyph == u'\u2584' ? u"1111"_s : u"0000"_s;
                    }
                    rows << top << top << top << top << bottom << bottom << bottom << bottom;
                }
            }
            const QString margin(rows.value(0).size(), u'0');
            rows = QStringList(16, margin) + rows + QStringList(16, margin);
            QFile image(folder.filePath(u"qr.pbm"_s));
            QVERIFY(image.open(QIODevice::WriteOnly));
            image.write(
                u"P1\n%1 %2\n%3\n"_s.arg(rows.value(0).size()).arg(rows.size()).arg(rows.join(u'\n')).toLatin1());
            image.close();
            QProcess decoder;
            decoder.start(u"zbarimg"_s, {u"--raw"_s, u"-q"_s, image.fileName()});
            QVERIFY(decoder.waitForFinished(kRunLimit));
            const QString decoded = QString::fromUtf8(decoder.readAllStandardOutput()).trimmed();
            QVERIFY2(decoded.startsWith(u"http://127.0.0.1:"_s) && decoded.endsWith(u"/trust"_s) &&
                         first.contains(u": "_s + decoded + u'\n'),
                     qPrintable(decoded));
        }

        const QString moved = startServe(u"127.0.0.2"_s, {u"--tls"_s});
        QVERIFY2(moved.contains(fingerprint) && moved.contains(u"https://127.0.0.2:"_s), qPrintable(moved));
        QCOMPARE(fileOf(u"ca.pem"_s), authority);
        const QSslCertificate reissued(fileOf(u"server.pem"_s));
        QVERIFY(reissued.toPem() != server &&
                reissued.subjectAlternativeNames().values(QSsl::IpAddressEntry).contains(u"127.0.0.2"_s));
        QCOMPARE(reissued.issuerInfo(QSslCertificate::CommonName),
                 QSslCertificate(authority).subjectInfo(QSslCertificate::CommonName));

        // One's own certificate instead of the authority's: https, no trust step to offer.
        const QString own = startServe(
            u"127.0.0.1"_s, {u"--tls-cert"_s, state + u"/server.pem"_s, u"--tls-key"_s, state + u"/server.key"_s});
        QVERIFY2(own.contains(u"https://127.0.0.1:"_s) && !own.contains(fingerprint), qPrintable(own));

        const QString plain = startServe(u"127.0.0.1"_s, {u"--plain-http"_s});
        QVERIFY2(plain.contains(u"http://127.0.0.1:"_s) && plain.contains(u"Warnung: --plain-http"_s) &&
                     !plain.contains(fingerprint),
                 qPrintable(plain));
    }

    void neverGuessesAnAddress()
    {
        QProcessEnvironment env = environment();
        env.remove(u"KURVAN_HOST"_s);
        const Run result = run({u"status"_s}, env);
        QCOMPARE(result.exitCode, 2);
        QVERIFY(result.err.contains(u"--host"_s));
    }

    void watchPrintsEachChangeUntilTheLinkIsLost()
    {
        QProcess watch;
        watch.setProcessEnvironment(environment());
        QSignalSpy finished(&watch, &QProcess::finished);
        watch.start(program, {u"watch"_s, u"--json"_s});
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
        watch.start(program, {u"watch"_s, u"--reconnect"_s});
        QString text;
        connect(&watch, &QProcess::readyReadStandardOutput, this,
                [&] { text += QString::fromUtf8(watch.readAllStandardOutput()); });
        QTRY_VERIFY_WITH_TIMEOUT(text.contains(u"Credits: 3"_s), JukeboxSession::kConnectTimeout * 2);
        sim->close();
        QTRY_VERIFY_WITH_TIMEOUT(text.contains(u"Neuer Verbindungsversuch 1 in 1 s"_s),
                                 JukeboxSession::kConfirmTimeout);
        QVERIFY(text.contains(u"Verbindung zur Jukebox verloren"_s));
        QVERIFY(sim->listen(QHostAddress::LocalHost, port));
        QTRY_VERIFY_WITH_TIMEOUT(text.contains(u"Wieder verbunden"_s),
                                 SessionReconnector::kFirstDelay + JukeboxSession::kConnectTimeout * 2);
        // After the new login the state is reported afresh.
        QTRY_COMPARE_WITH_TIMEOUT(text.count(u"Credits: 3"_s), 2, JukeboxSession::kConfirmTimeout);
        QCOMPARE(watch.state(), QProcess::Running);
        watch.kill();
        watch.waitForFinished();
    }

    // What the jukebox names is data: it neither steers the terminal nor forges a line of its
    // own. And a watch whose reader has gone ends, quietly and with 0, while nothing changes.
    void jukeboxTextsReachNoTerminalRawAndWatchEndsWithItsReader()
    {
        sim->model().setSongs({{u"C:\\Musik\\\x1b[2J\aLied\r\nCredits: 999.mp3"_s, 215}});
        sim->model().setType(u"Demo\x1b]0;x\a"_s);
        const auto hasControl = [](const QString &text) {
            return std::any_of(text.begin(), text.end(),
                               [](QChar c) { return (c < u' ' && c != u'\n') || (c >= u'\x7f' && c <= u'\x9f'); });
        };
        const Run status = run({u"status"_s});
        QCOMPARE(status.exitCode, 0);
        QCOMPARE(status.out.count(u'\n'), 8);
        QVERIFY2(!hasControl(status.out), qPrintable(status.out));

        // watch | head -n 4, as a shell runs it: head takes the first report (title, playback,
        // credits, volume) and goes; pipefail makes a watch killed by SIGPIPE fail the pipeline.
        const QString bash = QStandardPaths::findExecutable(u"bash"_s);
        if (bash.isEmpty() || QStandardPaths::findExecutable(u"head"_s).isEmpty())
            QSKIP("No shell with head to read from watch.");
        QProcess pipeline;
        pipeline.setProcessEnvironment(environment());
        QSignalSpy ended(&pipeline, &QProcess::finished);
        pipeline.start(bash, {u"-c"_s, u"set -o pipefail; \"$0\" watch | head -n 4"_s, program});
        // Nothing changes at the jukebox: only the pipe can tell watch that nobody reads.
        QVERIFY(ended.wait(kRunLimit));
        const QString shown = QString::fromUtf8(pipeline.readAllStandardOutput());
        QVERIFY2(shown.endsWith(u"Lautst\u00E4rke: 50\n"_s), qPrintable(shown));
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
        QTest::newRow("Ctrl+C") << QByteArray("\x03") << u"signal 2"_s << QString();
        QTest::newRow("a wrong password") << QByteArray("falsch\r") << u"exit 4"_s << CtlText::TypedPasswordRefused;
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
        env.remove(u"KURVAN_PASSWORD"_s);
        const Run result = run({QStringLiteral(PROMPT_IN_PTY), QString::fromLatin1(keys.toHex()), program, u"status"_s},
                               env, {}, u"/usr/bin/python3"_s);
        QCOMPARE(result.out.section(u'\n', 0, 1), u"echo on\n"_s + ending);
        QVERIFY2(result.out.contains(says), qPrintable(result.out));
        QVERIFY2(!result.out.contains(u"KURVAN_PASSWORD"_s), qPrintable(result.out));
    }
};

QTEST_GUILESS_MAIN(TestKurvanctl)
#include "TestKurvanctl.moc"
