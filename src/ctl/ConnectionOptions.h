#pragma once

#include "common/ServerLogin.h"
#include "ctl/CommandLine.h"

#include <QList>
#include <QString>
#include <optional>

// Where kurvanctl and its web remote connect, and with which password. Shared by every command
// that talks to the jukebox.

// The rows of --host, --port and --password-file for the option table.
QList<OptionRow> connectionOptionRows();

// The jukebox's default port, where nothing else names one.
inline const QString kDefaultPort = QStringLiteral("7620");

struct ConnectionChoice
{
    ServerLogin login;
    bool passwordTyped = false; // the password came from the prompt
    QString error;              // not empty: nothing to connect to; this says what to do (exit code 2)
};

// The address and port, each from the first source that has one: --host/--port, then
// KURVAN_HOST/KURVAN_PORT, then the pair kurvan-client last remembered (only when neither
// --host nor KURVAN_HOST names an address, since a remembered port belongs to its address),
// then port 7620. No address is ever guessed: without one, error is set. The password is
// left empty; see choosePassword().
ConnectionChoice chooseJukebox(const ParsedCommandLine &line);

// The password, never from the command line: --password-file FILE (its first line without the
// line end; "-" reads standard input), then KURVAN_PASSWORD (set but empty is the empty
// password), then a prompt without echo when standard input is a terminal. Sets error when
// none of these gives one.
void choosePassword(const ParsedCommandLine &line, ConnectionChoice &choice);

// "address:port" for messages.
QString jukeboxName(const ServerLogin &login);
