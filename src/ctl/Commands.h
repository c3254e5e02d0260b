#pragma once

#include "ctl/CommandLine.h"
#include "link/ServerLogin.h"

#include <QList>
#include <QString>
#include <QStringList>

class JukeboxSession;

// What a command gets to work with: the command line, where to connect, and the session (logged
// in when its row says opensSession).
struct CommandContext
{
    const ParsedCommandLine &line;
    ServerLogin login;
    JukeboxSession &session;
    bool passwordTyped = false; // at the prompt, not from a file or KURVAN_PASSWORD

    bool json() const;
    // The values after the command word.
    QStringList values() const { return line.words.mid(1); }
};

// One command of kurvanctl.
struct CommandRow
{
    QString word;
    QString values; // how its values are written in the help, e.g. "+N|-N"
    QString help;
    int minValues = 0;
    int maxValues = 0;
    // The options it takes besides the connection options, for "help WORD".
    QStringList options;
    // Before anything connects: an error text for values or options this command cannot take.
    QString (*check)(const ParsedCommandLine &line) = nullptr;
    // Runs the command and returns the exit code; prints its result and its errors itself.
    int (*run)(CommandContext &context) = nullptr;
    // False: the command opens (and reopens) the session itself.
    bool opensSession = true;
    // False: it needs no jukebox at all, so no address or password is looked for.
    bool connects = true;
};

// Every command, one row each, in the order of the help.
const QList<CommandRow> &commandTable();

// The whole help text.
QString usageText();

// kurvanctl from its arguments (without the program name) to its exit code.
int runCommandLine(const QStringList &arguments, const QString &version);
