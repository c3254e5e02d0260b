#pragma once

#include "RequestRules.h"
#include "session/JukeboxSnapshot.h"

#include <QJsonObject>
#include <QObject>

// Where the link to the jukebox stands, as the page shows it.
struct LinkStatus
{
    enum class Phase
    {
        Connected,      // logged in
        Connecting,     // an attempt is running
        Waiting,        // the link is down; the next attempt comes after retryInMs
        PasswordRefused // the jukebox refused the password; attempts go on all the same
    };
    Phase phase = Phase::Connecting;
    int attempt = 0;   // attempts since the link was last up
    int retryInMs = 0; // for Waiting

    bool operator==(const LinkStatus &) const = default;
};

QJsonObject linkStatusToJson(const LinkStatus &status);

// What the web server sees of the jukebox: its state, the link's state, and one entry for the
// actions. The server pushes every change to the pages; it never waits on the jukebox.
class RemoteFace : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual JukeboxSnapshot snapshot() const = 0;
    virtual LinkStatus linkStatus() const = 0;
    // Whether perform() would take the action now: never without the link; otherwise the
    // jukebox's state decides, and a credit click waits for the jukebox's confirmation before
    // the next one. Every change of the answer comes with changed().
    virtual bool allows(const RequestRules::RemoteAction &action) const = 0;
    // Starts the action, or queues it, without waiting for the jukebox. Done (sent or queued),
    // Forbidden (allows() says no), NotConfirmed (too much queued) or LinkLost.
    virtual SessionResult perform(const RequestRules::RemoteAction &action) = 0;

signals:
    void changed();
};
