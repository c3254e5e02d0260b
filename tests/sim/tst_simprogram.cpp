#include "Messages.h"
#include "SimServer.h"
#include "SimTestClient.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

// The tonalis-sim program itself: its command line, its start line and how it ends.
class TestSimProgram : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void optionsReachTheServerAndQuitEndsIt();
    void endsCleanlyOnTerminate();
    void refusesBadOptions_data();
    void refusesBadOptions();

private:
    // Starts the program on a free loopback port and returns that port, 0 on failure.
    quint16 start(const QStringList &arguments);

    QProcess m_process;
    QByteArray m_output;
};

void TestSimProgram::cleanup()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished();
    }
    m_output.clear();
}

quint16 TestSimProgram::start(const QStringList &arguments)
{
    m_process.setProgram(QStringLiteral(TONALIS_SIM_PATH));
    m_process.setArguments(QStringList{QStringLiteral("--listen"), QStringLiteral("127.0.0.1"),
                                       QStringLiteral("--port"), QStringLiteral("0")} +
                           arguments);
    connect(&m_process, &QProcess::readyReadStandardOutput, this,
            [this] { m_output += m_process.readAllStandardOutput(); });
    m_process.start();
    static const QRegularExpression startLine(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)\n"));
    QRegularExpressionMatch match;
    (void)QTest::qWaitFor(
        [&] {
            match = startLine.match(QString::fromUtf8(m_output));
            return match.hasMatch() || m_process.state() == QProcess::NotRunning;
        },
        SimTestClient::kWaitMs);
    return match.hasMatch() ? static_cast<quint16>(match.captured(1).toUInt()) : 0;
}

void TestSimProgram::optionsReachTheServerAndQuitEndsIt()
{
    const quint16 port = start({QStringLiteral("--password"), QStringLiteral("s3cret"), QStringLiteral("--withhold"),
                                QStringLiteral("Credit"), QStringLiteral("--stopped")});
    QVERIFY(port != 0);
    SimTestClient c;
    QVERIFY(c.connectTo(port));
    QVERIFY(!c.login(SimServer::kDefaultPassword));
    QVERIFY(c.login(QStringLiteral("s3cret")));
    c.send(QStringLiteral("GetCredit"));
    QCOMPARE(c.query(Msg::PlayStatus), QStringLiteral("Gestoppt"));
    QCOMPARE(c.texts.size(), 3);

    QSignalSpy finished(&m_process, &QProcess::finished);
    c.send(Msg::Quit);
    QVERIFY(c.waitForDisconnected());
    QVERIFY(finished.count() > 0 || finished.wait(SimTestClient::kWaitMs));
    QCOMPARE(m_process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_process.exitCode(), 0);

    const QString log = QString::fromUtf8(m_output);
    QVERIFY(log.contains(QStringLiteral("recv: Password=***")));
    QVERIFY(log.contains(QStringLiteral("recv: CtrlBeenden")));
    QVERIFY(!log.contains(QStringLiteral("s3cret")));
}

void TestSimProgram::endsCleanlyOnTerminate()
{
    const quint16 port = start({QStringLiteral("--quiet")});
    QVERIFY(port != 0);
    SimTestClient c;
    QVERIFY(c.connectTo(port));
    QVERIFY(c.login(SimServer::kDefaultPassword));

    QSignalSpy finished(&m_process, &QProcess::finished);
    m_process.terminate();
    QVERIFY(finished.wait(SimTestClient::kWaitMs));
    QCOMPARE(m_process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_process.exitCode(), 0);
    QVERIFY(c.waitForDisconnected());
    // Quiet: nothing but the start line.
    QCOMPARE(m_output.count('\n'), 1);
}

void TestSimProgram::refusesBadOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("port") << QStringList{QStringLiteral("--port"), QStringLiteral("70000")};
    QTest::newRow("address") << QStringList{QStringLiteral("--listen"), QStringLiteral("jukebox")};
    QTest::newRow("value name") << QStringList{QStringLiteral("--empty"), QStringLiteral("Credit,credit")};
    QTest::newRow("count") << QStringList{QStringLiteral("--flood"), QStringLiteral("-1")};
}

void TestSimProgram::refusesBadOptions()
{
    QFETCH(QStringList, arguments);
    m_process.start(QStringLiteral(TONALIS_SIM_PATH), arguments);
    QVERIFY(m_process.waitForFinished(SimTestClient::kWaitMs));
    QCOMPARE(m_process.exitCode(), 2);
    QVERIFY(m_process.readAllStandardError().startsWith("tonalis-sim: "));
}

QTEST_GUILESS_MAIN(TestSimProgram)
#include "tst_simprogram.moc"
