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

using namespace Qt::StringLiterals;

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
        for (const QString &text : {u"GetVersion"_s, Msg::Stop, Msg::AddCredit, Msg::PasswordOK,
                                    u"Password=Tonalis"_s}) // the password's case matters
            c->send(text);
        QVERIFY(c->waitForCount(1));
        c->send(u"GetCredit"_s);
        QVERIFY(c->login(SimServer::kDefaultPassword));
        QCOMPARE(c->texts, QStringList({Msg::PasswordWrong, Msg::PasswordOK}));
        QCOMPARE(m_sim->model().credit(), 3);
        QVERIFY(m_sim->model().isPlaying());
        QCOMPARE(m_sim->received().size(), 7);

        // A wrong password later does not undo the login.
        c->send(u"Password=x"_s);
        QCOMPARE(c->query(Msg::Version), u"7.1.0"_s);
        QCOMPARE(c->texts.at(2), Msg::PasswordWrong);
    }

    void answersEveryValue()
    {
        auto c = client();
        QVERIFY(c);
        m_now += 42'900;
        const QList<std::pair<QString, QString>> expected = {
            {Msg::Version, u"7.1.0"_s},
            {Msg::Type, u"Demo"_s},
            {Msg::Credit, u"3"_s},
            {Msg::PlayStatus, Msg::Playing},
            {Msg::CurrentSong, u"D:\\Musik\\Rock\\Mein_Lied.mp3"_s},
            {Msg::SongLength, u"215"_s},
            {Msg::SongPos, u"42"_s},
            {Msg::Volume, u"50"_s},
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
        QTest::newRow("add") << Msg::AddCredit << Msg::ChangeCredit << Msg::Credit << u"4"_s;
        QTest::newRow("add 3") << u"AddCredit|3"_s << Msg::ChangeCredit << Msg::Credit << u"6"_s;
        QTest::newRow("remove") << Msg::RemoveCredit << Msg::ChangeCredit << Msg::Credit << u"2"_s;
        QTest::newRow("remove 5") << u"RemoveCredit|5"_s << Msg::ChangeCredit << Msg::Credit << u"0"_s;
        QTest::newRow("next") << Msg::NextTitle << Msg::ChangeTitle << Msg::CurrentSong << songs.at(1).path;
        QTest::newRow("next from 0") << Msg::NextTitle << Msg::ChangeTitle << Msg::SongPos << u"0"_s;
        QTest::newRow("previous wraps") << Msg::PrevTitle << Msg::ChangeTitle << Msg::CurrentSong << songs.last().path;
        QTest::newRow("stop") << Msg::Stop << Msg::PlayStatusStop << Msg::PlayStatus << u"Gestoppt"_s;
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
        c->send(u"SetVolume|0"_s);
        QCOMPARE(c->query(Msg::Volume), u"0"_s);
        for (const char *bad :
             {"SetVolume|101", "SetVolume|-1", "SetVolume|", "SetVolume|abc", "SetVolume| 5", "SetVolume|50.5",
              "SetVolume|5|5", "SetVolume|00000070", "AddCredit", "AddCredit|x", "AddCredit|-2", "RemoveCredit|0",
              "CtrlStop|1", "ctrlstop", "Hallo", "GetNope", "Get", "GetCredit|x", ""})
            c->send(QString::fromLatin1(bad));
        QCOMPARE(c->query(Msg::Volume), u"0"_s);
        QCOMPARE(c->query(Msg::Credit), u"3"_s);
        QVERIFY(m_sim->model().isPlaying());
        QCOMPARE(c->texts.size(), 4); // nothing but the answers
    }

    void titlesRunOut()
    {
        m_sim->model().setSongs({{u"C:\\Eins.mp3"_s, 10}, {u"C:\\Zwei.mp3"_s, 20}});
        auto c = client();
        QVERIFY(c);
        m_now += 10'000;
        m_sim->model().sync();
        QVERIFY(c->waitForText(Msg::ChangeTitle));
        QCOMPARE(c->query(Msg::CurrentSong), u"C:\\Zwei.mp3"_s);

        // Without a sync: a query applies the time passed first, so the notice comes before it.
        m_now += 20'000;
        QCOMPARE(c->query(Msg::PlayStatus), u"Gestoppt"_s);
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
        m_sim->model().setSongs({{u"C:\\a.mp3"_s, 1}, {u"C:\\b.mp3"_s, 60}});
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
        m_sim->pushNotice(u"ChangeTitle|egal"_s);
        QVERIFY(b->waitForText(u"ChangeTitle|egal"_s));

        outsider->send(u"Password=falsch"_s);
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
        bad->sendBytes(noise + FrameMessage(u"Password=tonalis"_s).left(6));
        QCOMPARE(good->query(Msg::Credit), u"3"_s);
        bad->send(Msg::AddCredit);

        QSignalSpy gone(m_sim.get(), &SimServer::clientDisconnected);
        bad.reset(); // gone mid-frame
        QVERIFY(gone.wait(SimTestClient::kWaitMs));
        QCOMPARE(m_sim->clientCount(), 1);
        QCOMPARE(good->query(Msg::Version), u"7.1.0"_s);
        QCOMPARE(m_sim->model().credit(), 3);
    }

    void faultsShapeAnswers()
    {
        auto c = client();
        QVERIFY(c);
        m_sim->faults().withheldValues = {Msg::Credit};
        m_sim->faults().emptyValues = {Msg::Volume};
        c->send(u"GetCredit"_s);
        QCOMPARE(c->query(Msg::Volume), QString());
        QCOMPARE(c->query(Msg::Type), u"Demo"_s);
        QCOMPARE(c->texts, QStringList({Msg::PasswordOK, u"Volume|"_s, u"Type|Demo"_s}));

        // A delayed answer is overtaken by the one asked for after it; both queries go in one
        // write, so they are read and answered in the same pass.
        m_sim->faults() = FaultPlan();
        m_sim->faults().answerDelayMs = 300;
        m_sim->faults().delayedValues = {Msg::Credit};
        c->sendBytes(FrameMessage(u"GetCredit"_s) + FrameMessage(u"GetType"_s));
        QVERIFY(c->waitForText(u"Credit|3"_s));
        QCOMPARE(c->texts.mid(3), QStringList({u"Type|Demo"_s, u"Credit|3"_s}));
    }

    void faultsAfterLogin()
    {
        m_sim->faults().garbageBytes = 200;
        m_sim->faults().garbageSeed = 7;
        m_sim->faults().floodCount = 1000;
        auto c = client();
        QVERIFY(c);
        QCOMPARE(c->query(Msg::Version), u"7.1.0"_s);
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
        QCOMPARE(a->query(Msg::Type), u"Demo"_s);
        a->send(u"GetVersion"_s);
        QVERIFY(a->waitForDisconnected());
        QCOMPARE(a->texts, QStringList({Msg::PasswordOK, u"Type|Demo"_s}));
        QCOMPARE(b->query(Msg::Credit), u"3"_s); // counted per connection
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
            c->send(u"GetVersion"_s);
            QVERIFY(got.wait(SimTestClient::kWaitMs));
            m_sim->faults() = FaultPlan();
            QCOMPARE(c->query(Msg::Type), u"Demo"_s);
            QCOMPARE(c->texts, QStringList({Msg::PasswordOK, Msg::ChangeTitle, Msg::CurrentSong + u'|' + path,
                                            u"Version|7.1.0"_s, u"Type|Demo"_s}));
        }
    }

    void logHidesPasswordAndShowsControlBytes()
    {
        QBuffer log;
        log.open(QIODevice::WriteOnly);
        m_sim->setLogDevice(&log);
        m_sim->setPassword(u"geheim\u00E4123"_s);
        auto c = client(false);
        QVERIFY(c);
        QVERIFY(!c->login(u"falsch-geheim"_s));
        QVERIFY(c->login(u"geheim\u00E4123"_s));
        c->send(u"Get\u0001X\u00E4"_s);
        QCOMPARE(c->query(Msg::Credit), u"3"_s);
        m_sim->setLogDevice(nullptr);

        const QString text = QString::fromUtf8(log.data());
        QVERIFY(!text.contains(u"geheim"_s));
        QCOMPARE(text.count(u"recv: Password=***\n"_s), 2);
        QVERIFY2(text.contains(u"[#1] recv: Get\\x01X\u00E4\n"_s), qPrintable(text));
        QVERIFY(text.contains(u"[#1] send: Credit|3\n"_s));
        QCOMPARE(PrintableBytes(QByteArray("\x02\x00\x7F\x81\x80\x0A", 6)), u"\\x02\\x00\\x7F\\x81\u20AC\\x0A"_s);
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
