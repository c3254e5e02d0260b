#pragma once

#include "common/ServerLogin.h"
#include "ctl/CommandLine.h"
#include "link/Vocabulary.h"

#include <QList>
#include <QString>
#include <QStringList>

class JukeboxSession;
struct CommandRow;
struct JukeboxSnapshot;

// What a command gets to work with: the command line, where to connect, and the session (logged
// in when its row says opensSession).
struct CommandContext
{
    const CommandRow &row;
    const ParsedCommandLine &line;
    ServerLogin login;
    JukeboxSession &session;
    bool passwordTyped = false; // at the prompt, not from a file or KURVAN_PASSWORD

    bool json() const;
    // The values after the command word.
    QStringList values() const { return line.words.mid(1); }
};

// One command of kurvanctl: its word and what it does, the jukebox's commands it sends among
// them. Rows are written with designated initializers, naming what differs from the defaults.
struct CommandRow
{
    QString word = {};
    QString values = {}; // how its values are written in the help, e.g. "+N|-N"
    QString help = {};
    int minValues = 0;
    int maxValues = 0;
    // The options it takes besides the connection options, for "help WORD".
    QStringList options = {};
    // Before anything connects: an error text for values or options this command cannot take.
    QString (*check)(const ParsedCommandLine &line) = nullptr;
    // Runs the command and returns the exit code; prints its result and its errors itself.
    int (*run)(CommandContext &context) = nullptr;
    // False: the command opens (and reopens) the session itself.
    bool opensSession = true;
    // False: it needs no jukebox at all, so no address or password is looked for.
    bool connects = true;
    // The jukebox's commands this word sends: one for most, both credit commands for "credit".
    QList<Command> commands = {};
    // For a row run by runJukeboxCommand(): the line shown once the jukebox has confirmed.
    QString (*done)(const JukeboxSnapshot &snapshot) = nullptr;
    // The values the shells' completion offers after the word (help: the command words).
    QStringList offered = {};
};

// The run of a row that sends its one jukebox command and waits for the confirmation, as the
// panel's button would send it: refused (exit 1) where the jukebox's state does not allow it.
int runJukeboxCommand(CommandContext &context);

// Every command, one row each, in the order of the help.
const QList<CommandRow> &commandTable();

// The whole help text.
QString usageText();

// kurvanctl from its arguments (without the program name) to its exit code.
int runCommandLine(const QStringList &arguments, const QString &version);
