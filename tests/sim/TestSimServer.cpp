#include "FaultPlan.h"
#include "PanelFixture.h"
#include "SimServer.h"
#include "SimTestClient.h"
#include "link/Frame.h"
#include "link/Messages.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// The simulator as a client meets it: over a real loopback connection, framed by the
// project's own frame code. Order on one connection makes "no answer" provable: when a later
// query's answer arrives and an earlier one has not, the earlier one was never sent.
class TestSimServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(loopbackLoginWorks(), "no login over loopback: the wire is broken, every case would fail");
    }
    void init()
    {
        m_sim = std::make_unique<SimServer>();
        QVERIFY(m_sim->listen(QHostAddress::LocalHost, 0));
        m_now = 0;
        m_sim->model().setClock([this] { return m_now; });
    }

    void answersNothingBeforeLogin()
    {
        auto c = client(false);
        QVERIFY(c);
        for (const QString &text : {QStringLiteral("GetVersion"), Msg::Stop, Msg::AddCredit, Msg::PasswordOK,
                                    QStringLiteral("Password=Tonalis")}) // the password's case matters
            c->send(text);
        QVERIFY(c->waitForCount(1));
        c->send(QStringLiteral("GetCredit"));
        QVERIFY(c->login(SimServer::kDefaultPassword));
        QCOMPARE(c->texts, QStringList({Msg::PasswordWrong, Msg::PasswordOK}));
        QCOMPARE(m_sim->model().credit(), 3);
        QVERIFY(m_sim->model().isPlaying());
        QCOMPARE(m_sim->received().size(), 7);

        // A wrong password later does not undo the login.
        c->send(QStringLiteral("Password=x"));
        QCOMPARE(c->query(Msg::Version), QStringLiteral("7.1.0"));
        QCOMPARE(c->texts.at(2), Msg::PasswordWrong);
    }

    void answersEveryValue()
    {
        auto c = client();
        QVERIFY(c);
        m_now += 42'900;
        const QList<std::pair<QString, QString>> expected = {
            {Msg::Version, QStringLiteral("7.1.0")},
            {Msg::Type, QStringLiteral("Demo")},
            {Msg::Credit, QStringLiteral("3")},
            {Msg::PlayStatus, Msg::Playing},
            {Msg::CurrentSong, QStringLiteral("D:\\Musik\\Rock\\Mein_Lied.mp3")},
            {Msg::SongLength, QStringLiteral("215")},
            {Msg::SongPos, QStringLiteral("42")},
            {Msg::Volume, QStringLiteral("50")},
        };
        for (const auto &[name, value] : expected)
            QCOMPARE(c->query(name), value);
        QCOMPARE(c->texts.size(), 1 + expected.size());
    }

    void commandsChangeStateAndNotify_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        const QList<Song> songs = JukeboxModel::demoPlaylist();
        QTest::newRow("add") << Msg::AddCredit << Msg::ChangeCredit << Msg::Credit << QStringLiteral("4");
        QTest::newRow("add 3") << QStringLiteral("AddCredit|3") << Msg::ChangeCredit << Msg::Credit
                               << QStringLiteral("6");
        QTest::newRow("remove") << Msg::RemoveCredit << Msg::ChangeCredit << Msg::Credit << QStringLiteral("2");
        QTest::newRow("remove 5") << QStringLiteral("RemoveCredit|5") << Msg::ChangeCredit << Msg::Credit
                                  << QStringLiteral("0");
        QTest::newRow("next") << Msg::NextTitle << Msg::ChangeTitle << Msg::CurrentSong << songs.at(1).path;
        QTest::newRow("next from 0") << Msg::NextTitle << Msg::ChangeTitle << Msg::SongPos << QStringLiteral("0");
        QTest::newRow("previous wraps") << Msg::PrevTitle << Msg::ChangeTitle << Msg::CurrentSong << songs.last().path;
        QTest::newRow("stop") << Msg::Stop << Msg::PlayStatusStop << Msg::PlayStatus << QStringLiteral("Gestoppt");
    }

    void commandsChangeStateAndNotify()
    {
        QFETCH(QString, command);
        QFETCH(QString, notice);
        QFETCH(QString, name);
        QFETCH(QString, value);
        auto c = client();
        QVERIFY(c);
        m_now += 30'000;
        c->send(command);
        QVERIFY(c->waitForText(notice));
        QCOMPARE(c->query(name), value);
        QCOMPARE(c->texts, QStringList({Msg::PasswordOK, notice, name + u'|' + value}));
    }

    void ignoresBadCommands()
    {
        auto c = client();
        QVERIFY(c);
        c->send(QStringLiteral("SetVolume|0"));
        QCOMPARE(c->query(Msg::Volume), QStringLiteral("0"));
        for (const char *bad :
             {"SetVolume|101", "SetVolume|-1", "SetVolume|", "SetVolume|abc", "SetVolume| 5", "SetVolume|50.5",
              "SetVolume|5|5", "SetVolume|00000070", "AddCredit", "AddCredit|x", "AddCredit|-2", "RemoveCredit|0",
              "CtrlStop|1", "ctrlstop", "Hallo", "GetNope", "Get", "GetCredit|x", ""})
            c->send(QString::fromLatin1(bad));
        QCOMPARE(c->query(Msg::Volume), QStringLiteral("0"));
        QCOMPARE(c->query(Msg::Credit), QStringLiteral("3"));
        QVERIFY(m_sim->model().isPlaying());
        QCOMPARE(c->texts.size(), 4); // nothing but the answers
    }

    void titlesRunOut()
    {
        m_sim->model().setSongs({{QStringLiteral("C:\\Eins.mp3"), 10}, {QStringLiteral("C:\\Zwei.mp3"), 20}});
        auto c = client();
        QVERIFY(c);
        m_now += 10'000;
        m_sim->model().sync();
        QVERIFY(c->waitForText(Msg::ChangeTitle));
        QCOMPARE(c->query(Msg::CurrentSong), QStringLiteral("C:\\Zwei.mp3"));

        // Without a sync: a query applies the time passed first, so the notice comes before it.
        m_now += 20'000;
        QCOMPARE(c->query(Msg::PlayStatus), QStringLiteral("Gestoppt"));
        QCOMPARE(c->texts.at(c->texts.size() - 2), Msg::PlayStatusStop);
    }

    void titlesRunOutInRealTime()
    {
        // The real clock and the server's own timer, with a first title of one second.
        m_sim->model().setClock([timer = QElapsedTimer()]() mutable {
            if (!timer.isValid())
                timer.start();
            return timer.elapsed();
        });
        auto c = client();
        QVERIFY(c);
        m_sim->model().setSongs({{QStringLiteral("C:\\a.mp3"), 1}, {QStringLiteral("C:\\b.mp3"), 60}});
        QVERIFY(c->waitForText(Msg::ChangeTitle));
        QCOMPARE(m_sim->model().currentIndex(), 1);
    }

    void noticesReachEveryLoggedInClientUntilQuit()
    {
        auto a = client();
        auto b = client();
        auto outsider = client(false);
        QVERIFY(a && b && outsider);
        QTRY_COMPARE(m_sim->clientCount(), 3);

        a->send(Msg::AddCredit);
        QVERIFY(b->waitForText(Msg::ChangeCredit));
        QVERIFY(a->waitForText(Msg::ChangeCredit));
        b->send(Msg::Stop);
        QVERIFY(a->waitForText(Msg::PlayStatusStop));
        m_sim->pushNotice(QStringLiteral("ChangeTitle|egal"));
        QVERIFY(b->waitForText(QStringLiteral("ChangeTitle|egal")));

        outsider->send(QStringLiteral("Password=falsch"));
        QVERIFY(outsider->waitForCount(1));
        QCOMPARE(outsider->texts, QStringList{Msg::PasswordWrong});
        QCOMPARE(m_sim->loggedInCount(), 2);

        QSignalSpy quit(m_sim.get(), &SimServer::quitRequested);
        a->send(Msg::Quit);
        QVERIFY(quit.wait(SimTestClient::kWaitMs));
        for (SimTestClient *c : {a.get(), b.get(), outsider.get()})
            QVERIFY(c->waitForDisconnected());
        QTRY_COMPARE(m_sim->clientCount(), 0);
        QVERIFY(!SimTestClient().connectTo(m_sim->port()));
    }

    void garbageClientDoesNotDisturbOthers()
    {
        auto good = client();
        auto bad = client(false);
        QVERIFY(good && bad);
        // The longest frame there is, made of end bytes, then half a login frame whose rest never
        // comes: the command behind it is swallowed as part of its text.
        QByteArray noise = QByteArray("\x02\xFF\xFF", 3) + QByteArray(70'000, '\x03');
        bad->sendBytes(noise + FrameMessage(QStringLiteral("Password=tonalis")).left(6));
        QCOMPARE(good->query(Msg::Credit), QStringLiteral("3"));
        bad->send(Msg::AddCredit);

        QSignalSpy gone(m_sim.get(), &SimServer::clientDisconnected);
        bad.reset(); // gone mid-frame
        QVERIFY(gone.wait(SimTestClient::kWaitMs));
        QCOMPARE(m_sim->clientCount(), 1);
        QCOMPARE(good->query(Msg::Version), QStringLiteral("7.1.0"));
        QCOMPARE(m_sim->model().credit(), 3);
    }

    void faultsShapeAnswers()
    {
        auto c = client();
        QVERIFY(c);
        m_sim->faults().withheldValues = {Msg::Credit};
        m_sim->faults().emptyValues = {Msg::Volume};
        c->send(QStringLiteral("GetCredit"));
        QCOMPARE(c->query(Msg::Volume), QString());
        QCOMPARE(c->query(Msg::Type), QStringLiteral("Demo"));
        QCOMPARE(c->texts, QStringList({Msg::PasswordOK, QStringLiteral("Volume|"), QStringLiteral("Type|Demo")}));

        // A delayed answer is overtaken by the one asked for after it; both queries go in one
        // write, so they are read and answered in the same pass.
        m_sim->faults() = FaultPlan();
        m_sim->faults().answerDelayMs = 300;
        m_sim->faults().delayedValues = {Msg::Credit};
        c->sendBytes(FrameMessage(QStringLiteral("GetCredit")) + FrameMessage(QStringLiteral("GetType")));
        QVERIFY(c->waitForText(QStringLiteral("Credit|3")));
        QCOMPARE(c->texts.mid(3), QStringList({QStringLiteral("Type|Demo"), QStringLiteral("Credit|3")}));
    }

    void faultsAfterLogin()
    {
        m_sim->faults().garbageBytes = 200;
        m_sim->faults().garbageSeed = 7;
        m_sim->faults().floodCount = 1000;
        auto c = client();
        QVERIFY(c);
        QCOMPARE(c->query(Msg::Version), QStringLiteral("7.1.0"));
        QCOMPARE(c->texts.count(Msg::ChangeCredit), 1000);
        QCOMPARE(c->texts.size(), 1002);

        const QByteArray garbage = GarbageBytes(200, 7);
        QCOMPARE(c->raw.mid(FrameMessage(Msg::PasswordOK).size(), 200), garbage);
        QVERIFY(GarbageBytes(200, 8) != garbage);
        // Every byte value turns up in a long run, except the start byte.
        const QByteArray run = GarbageBytes(20'000, 7);
        QCOMPARE(QSet<char>(run.cbegin(), run.cend()).size(), 255);
        QVERIFY(!run.contains('\x02'));
    }

    void closesAfterMessages()
    {
        m_sim->faults().closeAfterMessages = 3;
        auto a = client();
        auto b = client();
        QVERIFY(a && b);
        QCOMPARE(a->query(Msg::Type), QStringLiteral("Demo"));
        a->send(QStringLiteral("GetVersion"));
        QVERIFY(a->waitForDisconnected());
        QCOMPARE(a->texts, QStringList({Msg::PasswordOK, QStringLiteral("Type|Demo")}));
        QCOMPARE(b->query(Msg::Credit), QStringLiteral("3")); // counted per connection
        QTRY_COMPARE(m_sim->clientCount(), 1);
    }

    void shapedOutputArrivesIntact()
    {
        const QString path = JukeboxModel::demoPlaylist().at(1).path;
        for (const bool byteByByte : {true, false}) {
            m_sim->model().setSongs(JukeboxModel::demoPlaylist()); // back to the first title
            m_sim->faults() = FaultPlan();
            m_sim->faults().byteByByte = byteByByte;
            m_sim->faults().bytePauseMs = 2;
            m_sim->faults().coalesce = !byteByByte;
            auto c = client();
            QVERIFY(c);
            c->send(Msg::NextTitle);
            QCOMPARE(c->query(Msg::CurrentSong), path);
            QVERIFY(c->raw.contains("Der_fr\xF6hliche_Wanderer.mp3\x03")); // the code page's byte for the "ö"

            // Switched off while the answer may still be queued: what follows never overtakes it.
            QSignalSpy got(m_sim.get(), &SimServer::messageReceived);
            c->send(QStringLiteral("GetVersion"));
            QVERIFY(got.wait(SimTestClient::kWaitMs));
            m_sim->faults() = FaultPlan();
            QCOMPARE(c->query(Msg::Type), QStringLiteral("Demo"));
            QCOMPARE(c->texts, QStringList({Msg::PasswordOK, Msg::ChangeTitle, Msg::CurrentSong + u'|' + path,
                                            QStringLiteral("Version|7.1.0"), QStringLiteral("Type|Demo")}));
        }
    }

    void logHidesPasswordAndShowsControlBytes()
    {
        QBuffer log;
        log.open(QIODevice::WriteOnly);
        m_sim->setLogDevice(&log);
        m_sim->setPassword(QStringLiteral("geheim\u00E4123"));
        auto c = client(false);
        QVERIFY(c);
        QVERIFY(!c->login(QStringLiteral("falsch-geheim")));
        QVERIFY(c->login(QStringLiteral("geheim\u00E4123")));
        c->send(QStringLiteral("Get\u0001X\u00E4"));
        QCOMPARE(c->query(Msg::Credit), QStringLiteral("3"));
        m_sim->setLogDevice(nullptr);

        const QString text = QString::fromUtf8(log.data());
        QVERIFY(!text.contains(QStringLiteral("geheim")));
        QCOMPARE(text.count(QStringLiteral("recv: Password=***\n")), 2);
        QVERIFY2(text.contains(QStringLiteral("[#1] recv: Get\\x01X\u00E4\n")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("[#1] send: Credit|3\n")));
        QCOMPARE(PrintableBytes(QByteArray("\x02\x00\x7F\x81\x80\x0A", 6)),
                 QStringLiteral("\\x02\\x00\\x7F\\x81\u20AC\\x0A"));
    }

private:
    std::unique_ptr<SimTestClient> client(bool loggedIn = true)
    {
        auto c = std::make_unique<SimTestClient>();
        if (!c->connectTo(m_sim->port()) || (loggedIn && !c->login(SimServer::kDefaultPassword)))
            return nullptr;
        return c;
    }

    std::unique_ptr<SimServer> m_sim;
    qint64 m_now = 0;
};

QTEST_GUILESS_MAIN(TestSimServer)
#include "TestSimServer.moc"
