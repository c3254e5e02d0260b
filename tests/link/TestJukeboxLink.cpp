#include "FakeJukebox.h"
#include "link/Frame.h"
#include "link/JukeboxLink.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

// The link against a scripted jukebox on a real loopback socket.
class TestJukeboxLink : public QObject
{
    Q_OBJECT

private:
    // A link connected to jukebox, with a short query time-out.
    std::unique_ptr<JukeboxLink> connectedLink(FakeJukebox &jukebox, int timeoutMs = 300)
    {
        auto link = std::make_unique<JukeboxLink>();
        link->setQueryTimeout(timeoutMs);
        QSignalSpy connected(link.get(), &JukeboxLink::connected);
        link->connectToJukebox(QStringLiteral("127.0.0.1"), jukebox.portText());
        if (!connected.wait(5000))
            qWarning("link did not connect");
        return link;
    }

private slots:
    void answeredQueryReturnsValueAndClearsSlot()
    {
        FakeJukebox jukebox;
        jukebox.values[QStringLiteral("SongPos")] = QStringLiteral("1234");
        auto link = connectedLink(jukebox, 5000);

        QCOMPARE(link->QueryValue(QStringLiteral("SongPos"), QStringLiteral("0")), QStringLiteral("1234"));
        QCOMPARE(jukebox.received, QStringList{QStringLiteral("GetSongPos")});
        QVERIFY(link->pendingQuery().isEmpty());
        QVERIFY(link->queryAnswer().isEmpty());
        QVERIFY(!link->findChild<QTimer *>(QStringLiteral("tmrQueryTimeOut"))->isActive());
    }

    void unusableAnswersRunIntoTheTimeOut_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("defaultValue");
        QTest::addColumn<QString>("answer"); // empty: no answer at all
        QTest::addColumn<QString>("expected");
        QTest::newRow("no answer, default") << "SongPos"
                                            << "0"
                                            << ""
                                            << "0";
        QTest::newRow("no answer, no default") << "Credit"
                                               << ""
                                               << ""
                                               << "TimeOut";
        QTest::newRow("empty value") << "Credit"
                                     << ""
                                     << "Credit|"
                                     << "TimeOut";
        QTest::newRow("value holding a bar") << "Credit"
                                             << ""
                                             << "Credit|3|4"
                                             << "TimeOut";
        QTest::newRow("other name") << "Volume"
                                    << "40"
                                    << "Credit|3"
                                    << "40";
        QTest::newRow("name differs in case") << "Volume"
                                              << ""
                                              << "volume|3"
                                              << "TimeOut";
    }

    void unusableAnswersRunIntoTheTimeOut()
    {
        QFETCH(QString, name);
        QFETCH(QString, defaultValue);
        QFETCH(QString, answer);
        QFETCH(QString, expected);
        FakeJukebox jukebox;
        jukebox.onText = [&](const QString &) {
            if (!answer.isEmpty())
                jukebox.send(answer);
        };
        auto link = connectedLink(jukebox);
        QCOMPARE(link->QueryValue(name, defaultValue), expected);
        QVERIFY(link->queryAnswer().isEmpty());
    }

    void lateAnswerIsNotTakenForTheNextQuery()
    {
        FakeJukebox jukebox;
        jukebox.withheld = {QStringLiteral("Credit"), QStringLiteral("Version")};
        auto link = connectedLink(jukebox);
        QCOMPARE(link->QueryValue(QStringLiteral("Credit")), QStringLiteral("TimeOut"));

        // The late answer arrives while no query waits; the notice behind it shows it was read.
        QSignalSpy stops(link.get(), &JukeboxLink::playStatusStop);
        jukebox.send(QStringLiteral("Credit|5"));
        jukebox.send(QStringLiteral("PlayStatusStop"));
        QVERIFY(stops.wait(5000));
        QCOMPARE(link->QueryValue(QStringLiteral("Version")), QStringLiteral("TimeOut"));
    }

    void unconnectedLinkSendsNothingAndReportsClosed()
    {
        FakeJukebox jukebox;
        JukeboxLink link;
        QTimer status;
        status.start(10000);
        link.setStatusTimer(&status);
        QSignalSpy closed(&link, &JukeboxLink::closed);

        link.SendCommand(QStringLiteral("CtrlStop"));
        QCOMPARE(closed.count(), 1);
        QCOMPARE(link.QueryValue(QStringLiteral("Version")), QString());
        QCOMPARE(closed.count(), 2);
        QVERIFY(!status.isActive()); // a refused query does not restart the poll

        // Still connecting counts as not connected.
        link.connectToJukebox(QStringLiteral("127.0.0.1"), jukebox.portText());
        QCOMPARE(link.QueryValue(QStringLiteral("Version")), QString());
        QCOMPARE(closed.count(), 3);
        QTest::qWait(100);
        QVERIFY(jukebox.received.isEmpty());
    }

    void statusTimerIsPausedOnlyWhileAQueryWaits()
    {
        FakeJukebox jukebox;
        jukebox.values[QStringLiteral("Volume")] = QStringLiteral("40");
        auto link = connectedLink(jukebox);
        QTimer status;
        link->setStatusTimer(&status);

        bool activeDuringWait = true;
        jukebox.onText = [&](const QString &) { activeDuringWait = status.isActive(); };
        status.start(10000);
        QCOMPARE(link->QueryValue(QStringLiteral("Volume")), QStringLiteral("40"));
        QVERIFY(!activeDuringWait);
        QVERIFY(status.isActive());

        status.stop();
        QCOMPARE(link->QueryValue(QStringLiteral("Volume")), QStringLiteral("40"));
        QVERIFY(!status.isActive());
    }

    void noticeDuringAWaitIsHandledAfterIt()
    {
        FakeJukebox jukebox;
        jukebox.onText = [&](const QString &text) {
            if (text == QStringLiteral("GetCredit")) {
                jukebox.send(QStringLiteral("ChangeTitle"));
                jukebox.send(QStringLiteral("Credit|7"));
            }
        };
        auto link = connectedLink(jukebox, 5000);
        QSignalSpy titles(link.get(), &JukeboxLink::changeTitle);

        QCOMPARE(link->QueryValue(QStringLiteral("Credit")), QStringLiteral("7"));
        QCOMPARE(titles.count(), 0);
        QTRY_COMPARE(titles.count(), 1);
    }

    void queriesInsideADataArrivalGetTheirAnswers()
    {
        // The login asks for values from inside the handling of "PasswordOK"; the socket
        // announces no new data while that handling runs.
        FakeJukebox jukebox;
        jukebox.setPlaying();
        auto link = connectedLink(jukebox, 5000);
        QStringList answers;
        connect(link.get(), &JukeboxLink::passwordAccepted, link.get(), [&] {
            for (const char *name : {"Version", "Type", "Credit"})
                answers << link->QueryValue(QLatin1String(name));
        });
        link->SendCommand(QStringLiteral("Password=geheim"));
        QTRY_COMPARE(answers.size(), 3);
        QCOMPARE(answers, (QStringList{QStringLiteral("7.1.0"), QStringLiteral("Demo"), QStringLiteral("3")}));
    }

    void framesInOneReadAndSplitFramesAllArrive()
    {
        FakeJukebox jukebox;
        auto link = connectedLink(jukebox);
        QStringList order;
        connect(link.get(), &JukeboxLink::playStatusStop, this, [&] { order << QStringLiteral("stop"); });
        connect(link.get(), &JukeboxLink::changeCredit, this, [&] { order << QStringLiteral("credit"); });
        connect(link.get(), &JukeboxLink::passwordRefused, this, [&] { order << QStringLiteral("wrong"); });

        jukebox.sendRaw(FrameMessage(QStringLiteral("PlayStatusStop")) + FrameMessage(QStringLiteral("ChangeCredit")) +
                        FrameMessage(QStringLiteral("Unbekannt|1")));
        QTRY_COMPARE(order, (QStringList{QStringLiteral("stop"), QStringLiteral("credit")}));

        const QByteArray split = FrameMessage(QStringLiteral("PasswordWrong"));
        for (const char byte : split) {
            jukebox.sendRaw(QByteArray(1, byte));
            QTest::qWait(2);
        }
        QTRY_COMPARE(order.size(), 3);
        QCOMPARE(order.last(), QStringLiteral("wrong"));
        QCOMPARE(link->bufferedBytes(), 0);
    }

    void burstOfNoticesCollapsesAndStaysCurrent()
    {
        FakeJukebox jukebox;
        int credit = 0;
        jukebox.onText = [&](const QString &text) {
            if (text == QStringLiteral("GetCredit"))
                jukebox.send(QStringLiteral("Credit|") + QString::number(credit));
        };
        auto link = connectedLink(jukebox, 5000);
        int handled = 0;
        QString shown;
        connect(link.get(), &JukeboxLink::changeCredit, this, [&] {
            ++handled;
            shown = link->QueryValue(QStringLiteral("Credit"));
        });

        constexpr int kBurst = 100000;
        const QByteArray notice = FrameMessage(QStringLiteral("ChangeCredit"));
        QByteArray burst;
        burst.reserve(notice.size() * kBurst);
        for (int i = 0; i < kBurst; ++i)
            burst += notice;
        credit = 42;
        jukebox.sendRaw(burst);

        QTRY_COMPARE_WITH_TIMEOUT(shown, QStringLiteral("42"), 30000);
        QTRY_VERIFY(!link->isWaiting() && link->queuedMessages() == 0);
        qInfo("%d of %d notices handled", handled, kBurst);
        QVERIFY2(handled < 100, qPrintable(QString::number(handled)));
        QVERIFY(link->bufferedBytes() <= kMaxFrameBytes);
    }

    void droppedLinkEndsAWaitAtOnce()
    {
        FakeJukebox jukebox;
        jukebox.onText = [&](const QString &) { jukebox.dropClient(); };
        auto link = connectedLink(jukebox, 60000);
        QSignalSpy closed(link.get(), &JukeboxLink::closed);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(link->QueryValue(QStringLiteral("Volume"), QStringLiteral("40")), QStringLiteral("40"));
        QVERIFY(clock.elapsed() < 30000); // far below the minute the time-out would take
        QCOMPARE(closed.count(), 1);
        QCOMPARE(link->QueryValue(QStringLiteral("Volume")), QString());
    }

    void portTextThatIsNoPortStartsNothing()
    {
        JukeboxLink link;
        for (const char *port : {"", "abc", "0", "70000"}) {
            link.connectToJukebox(QStringLiteral("127.0.0.1"), QLatin1String(port));
            QCOMPARE(link.socket()->state(), QAbstractSocket::UnconnectedState);
        }
    }
};

QTEST_GUILESS_MAIN(TestJukeboxLink)
#include "TestJukeboxLink.moc"
