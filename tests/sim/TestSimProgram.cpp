#include "PanelFixture.h"
#include "SimServer.h"
#include "SimTestClient.h"
#include "link/Messages.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

// The tonalis-sim program itself: its command line, its start line and how it ends.
class TestSimProgram : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(loopbackLoginWorks(), "no login over loopback: the wire is broken, every case would fail");
    }

    void optionsReachTheServerAndQuitEndsIt()
    {
        QProcess sim;
        const quint16 port = start(sim, {u"--password"_s, u"s3cret"_s, u"--withhold"_s, u"Credit"_s, u"--stopped"_s});
        QVERIFY(port != 0);
        SimTestClient c;
        QVERIFY(c.connectTo(port));
        QVERIFY(!c.login(SimServer::kDefaultPassword));
        QVERIFY(c.login(u"s3cret"_s));
        c.send(u"GetCredit"_s);
        QCOMPARE(c.query(Msg::PlayStatus), u"Gestoppt"_s);
        QCOMPARE(c.texts.size(), 3);

        c.send(Msg::Quit);
        QVERIFY(c.waitForDisconnected());
        // The client's wait runs the event loop, where the process may already have been reaped.
        QVERIFY(sim.state() == QProcess::NotRunning || sim.waitForFinished(SimTestClient::kWaitMs));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
        const QString log = QString::fromUtf8(sim.readAllStandardOutput());
        QVERIFY(log.contains(u"recv: Password=***"_s));
        QVERIFY(log.contains(u"recv: CtrlBeenden"_s));
        QVERIFY(!log.contains(u"s3cret"_s));
    }

    void endsCleanlyOnTerminate()
    {
        QProcess sim;
        const quint16 port = start(sim, {u"--quiet"_s});
        QVERIFY(port != 0);
        SimTestClient c;
        QVERIFY(c.connectTo(port));
        QVERIFY(c.login(SimServer::kDefaultPassword));

        sim.terminate();
        QVERIFY(sim.waitForFinished(SimTestClient::kWaitMs));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
        QVERIFY(c.waitForDisconnected());
        QCOMPARE(sim.readAllStandardOutput(), QByteArray()); // quiet: nothing after the start line
    }

    void refusesBadOptions()
    {
        const QList<QStringList> cases = {
            {u"--port"_s, u"70000"_s},
            {u"--listen"_s, u"jukebox"_s},
            {u"--empty"_s, u"Credit,credit"_s},
            {u"--flood"_s, u"-1"_s},
        };
        for (const QStringList &arguments : cases) {
            QProcess sim;
            sim.start(QStringLiteral(TONALIS_SIM_PATH), arguments);
            QVERIFY(sim.waitForFinished(SimTestClient::kWaitMs));
            QCOMPARE(sim.exitCode(), 2);
            QVERIFY2(sim.readAllStandardError().startsWith("tonalis-sim: "), qPrintable(arguments.join(u' ')));
        }
    }

private:
    // Starts the program on a free loopback port; returns that port, 0 on failure.
    static quint16 start(QProcess &process, const QStringList &arguments)
    {
        process.start(QStringLiteral(TONALIS_SIM_PATH),
                      QStringList{u"--listen"_s, u"127.0.0.1"_s, u"--port"_s, u"0"_s} + arguments);
        if (!process.waitForReadyRead(SimTestClient::kWaitMs))
            return 0;
        static const QRegularExpression startLine(u"^tonalis-sim listening on 127\\.0\\.0\\.1:(\\d+)$"_s);
        const QRegularExpressionMatch match = startLine.match(QString::fromUtf8(process.readLine()).trimmed());
        return match.hasMatch() ? static_cast<quint16>(match.captured(1).toUInt()) : 0;
    }
};

QTEST_GUILESS_MAIN(TestSimProgram)
#include "TestSimProgram.moc"
