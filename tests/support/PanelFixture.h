#pragma once

#include "Controls.h"
#include "SimServer.h"
#include "link/JukeboxLink.h"
#include "panel/Kurvan.h"
#include "panel/PanelControls.h"

#include <QStringList>
#include <QTimer>
#include <memory>

// The real panel against the simulator on 127.0.0.1: making it, logging it in, running its
// status poll on demand, and reading its controls. Test classes inherit it next to QObject.
class PanelFixture
{
public:
    // The poll runs only when a test asks for it (pollOnce) with this interval set.
    static constexpr int kQuietPoll = 600000;
    // Where the jukebox's answers are not the point, a query waits this long.
    static constexpr int kShortTimeout = 300;
    // The questions of a login while a title plays.
    static constexpr int kLoginQuestions = 7;

    // How long a login may take against a simulator that answers at once: connecting, the
    // password's answer, and each question within its time-out, plus a margin for a loaded
    // machine and the sanitized build.
    static int loginLimit(int queryTimeoutMs) { return 3000 + kLoginQuestions * queryTimeoutMs; }

    virtual ~PanelFixture() = default;

    std::unique_ptr<SimServer> sim;
    std::unique_ptr<Kurvan> panel;
    JukeboxLink *link = nullptr; // the panel's

    // A simulator listening on 127.0.0.1, port 0, with password.
    bool startSim(const QString &password = SimServer::kDefaultPassword);
    void reset();

    // Creates the panel, which connects at once, then calls panelMade().
    void makePanel(const QString &port, const QString &password, int queryTimeoutMs = kShortTimeout);
    // Creates the panel against the simulator and waits until the login and everything queued
    // behind it is done and the poll has started; the poll then waits for pollOnce. False when
    // that takes longer than limitMs (by default loginLimit).
    bool logIn(int queryTimeoutMs = kShortTimeout, int limitMs = 0);
    // Runs one status poll now and waits until it has asked lastQuestion and the link is idle.
    // The poll's timer is stopped while a query waits, so putting its interval back at the
    // first question lets exactly one early tick through.
    bool pollOnce(const QString &lastQuestion, int limitMs = 5000);
    // Waits until the volume bar has rested and its move, if any, has gone out: a rest's
    // length and a margin at most.
    bool volumeRested() const;

    // What a test class does with every new panel before it has connected.
    virtual void panelMade() {}

    template <typename T> T *get(const char *name) const { return control<T>(panel.get(), name); }
    QString text(const char *label) const { return controlText(panel.get(), label); }
    bool enabled(const char *name) const { return controlEnabled(panel.get(), name); }
    QTimer *poll() const { return get<QTimer>("tmrCheckStatus"); }
    bool idle() const { return !link->isWaiting() && link->queuedMessages() == 0; }
    QString port() const { return QString::number(sim->port()); }

    // The switched controls as a login leaves them: on, the transport group as transportOn;
    // or all off (on false) as a lost link leaves them. Title and status lines stay readable.
    void expectControls(bool on, bool transportOn) const;
    // As the panel was created: labels readable, everything that acts switched off.
    void expectAsCreated() const;

    // Scripts a typical playing jukebox: version "7.1.0 (Demo)", 3 credits, "Mein Lied" at 30
    // of 215 seconds, volume 40. The answers hold still while a test looks.
    void scriptPlayingJukebox();
    // The scripted answer "name|value" to "Get" + name.
    void answer(const char *name, const QString &value);
    QStringList received() const { return sim->received(); }
    // The names asked for with "Get", in order.
    QStringList queries() const;
    int asked(const QString &name) const;
    int asked(const char *name) const { return asked(QLatin1String(name)); }
};

// A link logged in to sim, with the query time-out given; nullptr when the login takes longer
// than limitMs (connecting and the password's answer on loopback, and a margin).
std::unique_ptr<JukeboxLink> loggedInLink(const SimServer &sim, int queryTimeoutMs = PanelFixture::kShortTimeout,
                                          int limitMs = 3000);

// Whether a link logs in to a fresh simulator on 127.0.0.1 within limitMs. Every test that
// talks to the simulator checks this first: where the wire is broken (a fault in the frame
// code), every case would fail the same way, each after its own limit; this says so once.
bool loopbackLoginWorks(int limitMs = 3000);
// The texts given (UTF-8), as a list.
QStringList names(std::initializer_list<const char *> list);
// The bytes of the file at path; empty when it cannot be read.
QByteArray fileBytes(const QString &path);
// Replaces the file at path with bytes; false when that fails.
bool writeFileBytes(const QString &path, const QByteArray &bytes);
// What clients sent sim besides their passwords and "Get" questions: the commands, in order.
QStringList commandsReceived(const SimServer &sim);
// A login for sim on 127.0.0.1.
ServerLogin loginFor(const SimServer &sim, const QString &password = SimServer::kDefaultPassword);
// A port on 127.0.0.1 that nothing listens on (free again the moment it is found).
quint16 closedPort();

// The controls of PanelControl::kRows that have role, by object name, in the table's order.
QList<const char *> controlsWith(PanelControl::Role role);
// What stays readable whatever the link does: title, version caption, version and status line.
inline const char *const kAlwaysReadable[] = {"Label1", "Label2", "lblVersion", "lblStatus"};
// The controls that act (buttons, volume and progress bar): off until a login switches them on.
bool acts(const char *name);
