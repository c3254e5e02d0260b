#pragma once

#include "session/JukeboxSession.h"

#include <QByteArray>
#include <QString>
#include <optional>

// The pure rules of the web remote's HTTP side: which request is an action, whether its body
// is acceptable, whether it comes from our own page. Bytes in, verdict out.
namespace RequestRules {

// Bodies beyond this are refused before they are read as JSON; the largest real one is a
// password.
constexpr qsizetype kMaxBodyBytes = 4096;
inline constexpr const char kCookieName[] = "kurvan_session";

// One request the page or a script may make to change the jukebox.
struct RemoteAction
{
    std::optional<Command> command; // set for every action but the volume
    int volume = 0;                 // 0..100, for the volume action

    bool operator==(const RemoteAction &) const = default;
};

// A verdict: either the thing asked for, or an HTTP status with a short German message.
template <typename T> struct Verdict
{
    std::optional<T> value;
    int status = 200;
    QString message;
};

// The action a POST to this path asks for; nullopt for a path that is no action.
std::optional<RemoteAction> actionForPath(QByteArrayView path);

// Every action under the name the page knows it by: its path without "/api/", as the keys of
// the "allowed" object the state carries.
struct NamedAction
{
    QString name;
    RemoteAction action;
};
const QList<NamedAction> &namedActions();

// Checks the body of an action: a JSON object, "volume" (a whole number 0..100) for the volume
// and nothing else; {} for the others. An empty body is refused (400) like malformed JSON.
Verdict<RemoteAction> readActionBody(const RemoteAction &action, QByteArrayView contentType, QByteArrayView body);
// The body of a request that takes nothing (the logout): {}, as for an action.
Verdict<bool> readNoArguments(QByteArrayView contentType, QByteArrayView body);
// The password of a login body {"password": "..."}.
Verdict<QString> readLoginBody(QByteArrayView contentType, QByteArrayView body);

// True when a request may change something: no Origin (a script such as curl; a browser always
// sends one with a POST) or an Origin whose host and port are the Host it was sent to. A
// request without Host is refused. This proves something only for a Host that is ours
// (HostAllowList), which the server checks first.
bool originMatchesHost(QByteArrayView origin, QByteArrayView host, bool tls);

// The value of one cookie in a Cookie header; empty when it is not there.
QByteArray cookieValue(QByteArrayView cookieHeader, QByteArrayView name);

} // namespace RequestRules
