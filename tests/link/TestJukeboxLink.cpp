#include "PanelFixture.h"
#include "SimServer.h"
#include "link/Frame.h"
#include "link/JukeboxLink.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

QueryResult answered(const QString &value)
{
    return {QueryOutcome::Answered, value};
}
const QueryResult kTimedOut{QueryOutcome::TimedOut, {}};
const QueryResult kLinkDown{QueryOutcome::LinkDown, {}};
// Connecting and the password's answer on loopback, with a margin for a loaded machine.
constexpr int kLoginWait = 3000;
// A notice the simulator sends now reaches the link's handlers within this.
constexpr int kNoticeWait = 2000;

} // namespace

bool operator==(const QueryResult &a, const QueryResult &b)
{
    return a.outcome == b.outcome && a.value == b.value;
}
char *toString(const QueryResult &result)
{
    return QTest::toString(u"%1 %2"_s.arg(static_cast<int>(result.outcome)).arg(result.value));
}

// The link against the simulator on a real loopback socket.
class TestJukeboxLink : public QObject
{
    Q_OBJECT

    std::unique_ptr<SimServer> sim;

    // A link logged in to the simulator, with a short query time-out.
    std::unique_ptr<JukeboxLink> loggedInLink(int timeoutMs = 300)
    {
        auto link = ::loggedInLink(*sim, timeoutMs, kLoginWait);
        sim->clearReceived();
        return link;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(loopbackLoginWorks(), "no login over loopback: the wire is broken, every case would fail");
    }

    void init()
    {
        sim = std::make_unique<SimServer>();
        QVERIFY(sim->listen());
    }
    void cleanup() { sim.reset(); }

    void answeredQuery()
    {
        sim->faults().scriptedAnswers[u"SongPos"_s] = u"SongPos|1234"_s;
        auto link = loggedInLink(2000);
        QVERIFY(link);
        QSignalSpy started(link.get(), &JukeboxLink::waitStarted);
        QSignalSpy ended(link.get(), &JukeboxLink::waitEnded);

        QCOMPARE(link->query(u"SongPos"_s), answered(u"1234"_s));
        QCOMPARE(sim->received(), QStringList{u"GetSongPos"_s});
        QCOMPARE(started.count(), 1);
        QCOMPARE(ended.count(), 1);
        QVERIFY(!link->findChild<QTimer *>(u"tmrQueryTimeOut"_s)->isActive());
    }

    void unusableAnswersRunIntoTheTimeOut_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("answer"); // empty: no answer at all
        QTest::newRow("no answer") << u"Credit"_s << u""_s;
        QTest::newRow("empty value") << u"Credit"_s << u"Credit|"_s;
        QTest::newRow("value holding a bar") << u"Credit"_s << u"Credit|3|4"_s;
        QTest::newRow("other name") << u"Volume"_s << u"Credit|3"_s;
        QTest::newRow("name differs in case") << u"Volume"_s << u"volume|3"_s;
    }

    void unusableAnswersRunIntoTheTimeOut()
    {
        QFETCH(QString, name);
        QFETCH(QString, answer);
        if (answer.isEmpty())
            sim->faults().withheldValues = {name};
        else
            sim->faults().scriptedAnswers[name] = answer;
        auto link = loggedInLink();
        QVERIFY(link);
        QCOMPARE(link->query(name), kTimedOut);
    }

    void answerInTheSamePassAsTheTimeOutIsTooLate()
    {
        // The answer is on the socket (written to loopback, not yet read) before the wait
        // begins, and a time-out of 0 is due at once: both are seen in the wait's first pass,
        // and the time-out wins.
        auto link = loggedInLink();
        QVERIFY(link);
        sim->sendRaw(FrameMessage(u"Volume|55"_s));
        link->setQueryTimeout(0);
        sim->faults().withheldValues = {u"Volume"_s};
        QCOMPARE(link->query(u"Volume"_s), kTimedOut);
    }

    void lateAnswerIsNotTakenForTheNextQuery()
    {
        sim->faults().withheldValues = {u"Credit"_s, u"Version"_s};
        auto link = loggedInLink();
        QVERIFY(link);
        QCOMPARE(link->query(u"Credit"_s), kTimedOut);

        // The late answer arrives while no query waits; the notice behind it shows it was read.
        QSignalSpy notices(link.get(), &JukeboxLink::notice);
        sim->sendRaw(FrameMessage(u"Credit|5"_s) + FrameMessage(u"PlayStatusStop"_s));
        QVERIFY(notices.wait(kNoticeWait));
        QCOMPARE(notices.first().first().value<Incoming>(), Incoming::PlayStatusStop);
        QCOMPARE(link->query(u"Version"_s), kTimedOut);
    }

    void unconnectedLinkSendsNothingAndReportsClosedOnce()
    {
        JukeboxLink link;
        QSignalSpy closed(&link, &JukeboxLink::closed);
        QSignalSpy started(&link, &JukeboxLink::waitStarted);
        QVERIFY(!link.SendCommand(u"CtrlStop"_s));
        QCOMPARE(link.query(u"Version"_s), kLinkDown);
        QCOMPARE(closed.count(), 1);
        QCOMPARE(started.count(), 0);

        // Still connecting counts as not connected.
        JukeboxLink connecting;
        connecting.connectToJukebox(u"127.0.0.1"_s, QString::number(sim->port()));
        QCOMPARE(connecting.query(u"Version"_s), kLinkDown);
        QTest::qWait(100);
        QVERIFY(sim->received().isEmpty());
    }

    void noticeDuringAWaitIsHandledAfterIt()
    {
        // The notice comes well before the answer, so the wait's event loop runs meanwhile: a
        // link that handed notices out from there would do it now.
        sim->faults().withheldValues = {u"Credit"_s};
        connect(sim.get(), &SimServer::messageReceived, this, [this](const QString &text) {
            if (text != u"GetCredit"_s)
                return;
            sim->sendRaw(FrameMessage(u"ChangeTitle"_s));
            QTimer::singleShot(200, sim.get(), [this] { sim->sendRaw(FrameMessage(u"Credit|7"_s)); });
        });
        auto link = loggedInLink(2000);
        QVERIFY(link);
        QList<bool> waitingWhenHandled;
        connect(link.get(), &JukeboxLink::notice, this, [&](Incoming kind) {
            QCOMPARE(kind, Incoming::ChangeTitle);
            waitingWhenHandled << link->isWaiting();
        });

        QCOMPARE(link->query(u"Credit"_s), answered(u"7"_s));
        QCOMPARE(waitingWhenHandled, QList<bool>());
        QTRY_COMPARE(waitingWhenHandled, QList<bool>{false});
    }

    void queriesInsideAMessageHandlerGetTheirAnswers()
    {
        // The login asks for values from inside the handling of "PasswordOK".
        sim->model().setVersion(u"7.1.0"_s);
        sim->model().setCredit(3);
        auto link = std::make_unique<JukeboxLink>();
        QStringList answers;
        connect(link.get(), &JukeboxLink::connected, link.get(),
                [&] { link->SendCommand(u"Password="_s + sim->password()); });
        connect(link.get(), &JukeboxLink::passwordAccepted, link.get(), [&] {
            for (const char *name : {"Version", "Credit"})
                answers << link->query(QLatin1String(name)).value;
        });
        link->connectToJukebox(u"127.0.0.1"_s, QString::number(sim->port()));
        QTRY_COMPARE(answers.size(), 2);
        QCOMPARE(answers, (QStringList{u"7.1.0"_s, u"3"_s}));
    }

    void framesInOneReadAndSplitFramesAllArrive()
    {
        auto link = loggedInLink();
        QVERIFY(link);
        QStringList order;
        connect(link.get(), &JukeboxLink::notice, this,
                [&](Incoming kind) { order << (kind == Incoming::PlayStatusStop ? u"stop"_s : u"credit"_s); });
        connect(link.get(), &JukeboxLink::passwordRefused, this, [&] { order << u"wrong"_s; });

        sim->sendRaw(FrameMessage(u"PlayStatusStop"_s) + FrameMessage(u"ChangeCredit"_s) +
                     FrameMessage(u"Unbekannt|1"_s));
        QTRY_COMPARE(order, (QStringList{u"stop"_s, u"credit"_s}));

        const QByteArray split = FrameMessage(u"PasswordWrong"_s);
        for (const char byte : split) {
            sim->sendRaw(QByteArray(1, byte));
            QTest::qWait(2);
        }
        QTRY_COMPARE(order.size(), 3);
        QCOMPARE(order.last(), u"wrong"_s);
        QCOMPARE(link->bufferedBytes(), 0);
    }

    void burstOfNoticesCollapsesAndStaysCurrent()
    {
        auto link = loggedInLink(5000);
        QVERIFY(link);
        int handled = 0;
        QString shown;
        connect(link.get(), &JukeboxLink::notice, this, [&] {
            ++handled;
            shown = link->query(u"Credit"_s).value;
        });

        constexpr int kBurst = 100000;
        sim->model().setCredit(42);
        sim->sendRaw(FrameMessage(u"ChangeCredit"_s).repeated(kBurst));

        QTRY_COMPARE_WITH_TIMEOUT(shown, u"42"_s, 15000);
        QTRY_VERIFY(!link->isWaiting() && link->queuedMessages() == 0);
        qInfo("%d of %d notices handled", handled, kBurst);
        QVERIFY2(handled < 100, qPrintable(QString::number(handled)));
        QVERIFY(link->bufferedBytes() <= kMaxFrameBytes);
    }

    void droppedLinkEndsAWaitAtOnceAndIsClosedOnce()
    {
        auto link = loggedInLink(10000);
        QVERIFY(link);
        sim->faults().closeAfterMessages = 2; // the password, then the question
        QSignalSpy closed(link.get(), &JukeboxLink::closed);
        QSignalSpy timedOut(link->findChild<QTimer *>(u"tmrQueryTimeOut"_s), &QTimer::timeout);
        QCOMPARE(link->query(u"Volume"_s), kLinkDown);
        QCOMPARE(timedOut.count(), 0); // the loss ended the wait, not the time-out
        QCOMPARE(closed.count(), 1);
        QCOMPARE(link->query(u"Volume"_s), kLinkDown);
        QVERIFY(!link->SendCommand(u"CtrlStop"_s));
        QCOMPARE(closed.count(), 1);
    }

    void refusedAttemptIsReportedAtOnceAndADropIsNot()
    {
        JukeboxLink refused;
        QSignalSpy failed(&refused, &JukeboxLink::connectFailed);
        QSignalSpy closed(&refused, &JukeboxLink::closed);
        refused.connectToJukebox(u"127.0.0.1"_s, QString::number(closedPort()));
        // Some systems refuse a loopback attempt within connectToHost() itself.
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, JukeboxLink::kQueryTimeout);
        QCOMPARE(closed.count(), 0);

        auto link = loggedInLink(2000);
        QVERIFY(link);
        QSignalSpy dropFailed(link.get(), &JukeboxLink::connectFailed);
        QSignalSpy dropClosed(link.get(), &JukeboxLink::closed);
        sim->close();
        QVERIFY(dropClosed.wait(JukeboxLink::kQueryTimeout));
        QCOMPARE(dropFailed.count(), 0);
        QCOMPARE(failed.count(), 1);
    }

    void portTextThatIsNoPortStartsNothing()
    {
        JukeboxLink link;
        const auto *socket = link.findChild<QTcpSocket *>(u"Winsock1"_s);
        // An attempt shows as a change of the socket's state, even one refused at once.
        QSignalSpy attempts(socket, &QAbstractSocket::stateChanged);
        for (const char *port : {"", "abc", "0", "70000", "65536", "-1"}) {
            link.connectToJukebox(u"127.0.0.1"_s, QLatin1String(port));
            QVERIFY2(attempts.isEmpty(), port);
        }
        // Both ends of the port range are ports.
        for (const char *port : {"1", "65535"}) {
            link.connectToJukebox(u"127.0.0.1"_s, QLatin1String(port));
            QVERIFY2(!attempts.isEmpty(), port);
            link.abort();
            attempts.clear();
        }
    }
};

QTEST_GUILESS_MAIN(TestJukeboxLink)
#include "TestJukeboxLink.moc"
