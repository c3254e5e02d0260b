#include "PanelFixture.h"

#include "link/Messages.h"

#include <QFile>
#include <QTcpServer>
#include <QTest>

using namespace Qt::StringLiterals;

bool PanelFixture::startSim(const QString &password)
{
    sim = std::make_unique<SimServer>();
    sim->setPassword(password);
    return sim->listen(QHostAddress::LocalHost);
}

void PanelFixture::reset()
{
    panel.reset();
    link = nullptr;
    sim.reset();
}

void PanelFixture::makePanel(const QString &port, const QString &password, int queryTimeoutMs)
{
    link = new JukeboxLink;
    link->setQueryTimeout(queryTimeoutMs);
    panel = std::make_unique<Kurvan>(link, ServerLogin{u"127.0.0.1"_s, port, password});
    panelMade();
}

bool PanelFixture::logIn(int queryTimeoutMs, int limitMs)
{
    makePanel(port(), sim->password(), queryTimeoutMs);
    if (!QTest::qWaitFor([this] { return poll()->isActive() && idle(); },
                         limitMs > 0 ? limitMs : loginLimit(queryTimeoutMs)))
        return false;
    poll()->setInterval(kQuietPoll);
    poll()->start();
    return true;
}

bool PanelFixture::pollOnce(const QString &lastQuestion, int limitMs)
{
    const qsizetype before = received().size();
    // Only a question counts: a command still on its way (a volume after its rest) must not
    // put the interval back before the tick.
    const QMetaObject::Connection back =
        QObject::connect(sim.get(), &SimServer::messageReceived, sim.get(), [this](const QString &text) {
            if (text.startsWith(Msg::GetPrefix))
                poll()->setInterval(kQuietPoll);
        });
    poll()->start(1);
    const bool done = QTest::qWaitFor(
        [&] { return received().mid(before).contains(Msg::GetPrefix + lastQuestion) && idle(); }, limitMs);
    QObject::disconnect(back);
    return done;
}

bool PanelFixture::volumeRested() const
{
    return QTest::qWaitFor([this] { return !get<QTimer>("tmrVolume")->isActive(); }, Vocabulary::kVolumeRest + 1000);
}

void PanelFixture::expectControls(bool on, bool transportOn) const
{
    for (const PanelControl::Row &row : PanelControl::kRows) {
        if (PanelControl::has(row, PanelControl::Switched))
            QVERIFY2(enabled(row.name) == (PanelControl::has(row, PanelControl::Transport) ? transportOn : on),
                     row.name);
    }
    for (const char *name : kAlwaysReadable)
        QVERIFY2(enabled(name), name);
}

void PanelFixture::expectAsCreated() const
{
    for (const char *name : controlsWith(PanelControl::Switched))
        QVERIFY2(enabled(name) == !acts(name), name);
    for (const char *name : kAlwaysReadable)
        QVERIFY2(enabled(name), name);
}

void PanelFixture::scriptPlayingJukebox()
{
    answer("Version", u"7.1.0"_s);
    answer("Type", u"Demo"_s);
    answer("Credit", u"3"_s);
    answer("PlayStatus", u"Spielt"_s);
    answer("SongLength", u"215"_s);
    answer("CurrentSong", u"D:\\Musik\\Mein_Lied.mp3"_s);
    answer("SongPos", u"30"_s);
    answer("Volume", u"40"_s);
}

void PanelFixture::answer(const char *name, const QString &value)
{
    sim->faults().scriptedAnswers[QLatin1String(name)] = QLatin1String(name) + u'|' + value;
}

QStringList PanelFixture::queries() const
{
    QStringList out;
    for (const QString &text : sim->received()) {
        if (text.startsWith(Msg::GetPrefix))
            out << text.mid(Msg::GetPrefix.size());
    }
    return out;
}

int PanelFixture::asked(const QString &name) const
{
    return static_cast<int>(sim->received().count(Msg::GetPrefix + name));
}

std::unique_ptr<JukeboxLink> loggedInLink(const SimServer &sim, int queryTimeoutMs, int limitMs)
{
    auto link = std::make_unique<JukeboxLink>();
    link->setQueryTimeout(queryTimeoutMs);
    bool accepted = false;
    const QMetaObject::Connection logIn =
        QObject::connect(link.get(), &JukeboxLink::connected, link.get(),
                         [&link, &sim] { link->SendCommand(Msg::PasswordPrefix + sim.password()); });
    const QMetaObject::Connection done =
        QObject::connect(link.get(), &JukeboxLink::passwordAccepted, link.get(), [&accepted] { accepted = true; });
    link->connectToJukebox(u"127.0.0.1"_s, QString::number(sim.port()));
    const bool in = QTest::qWaitFor([&accepted] { return accepted; }, limitMs);
    QObject::disconnect(logIn);
    QObject::disconnect(done);
    return in ? std::move(link) : nullptr;
}

bool loopbackLoginWorks(int limitMs)
{
    SimServer sim;
    return sim.listen(QHostAddress::LocalHost) && loggedInLink(sim, PanelFixture::kShortTimeout, limitMs);
}

QStringList names(std::initializer_list<const char *> list)
{
    QStringList out;
    for (const char *n : list)
        out << QString::fromUtf8(n);
    return out;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFileBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QList<const char *> controlsWith(PanelControl::Role role)
{
    QList<const char *> names;
    for (const PanelControl::Row &row : PanelControl::kRows) {
        if (PanelControl::has(row, role))
            names << row.name;
    }
    return names;
}

bool acts(const char *name)
{
    return qstrncmp(name, "cmd", 3) == 0 || qstrcmp(name, "scrVol") == 0 || qstrcmp(name, "ProgressBar1") == 0;
}

QStringList commandsReceived(const SimServer &sim)
{
    QStringList sent;
    for (const QString &text : sim.received())
        if (!text.startsWith(Msg::GetPrefix) && !text.startsWith(Msg::PasswordPrefix))
            sent << text;
    return sent;
}

ServerLogin loginFor(const SimServer &sim, const QString &password)
{
    return {u"127.0.0.1"_s, QString::number(sim.port()), password};
}
