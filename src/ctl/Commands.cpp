#include "ctl/Commands.h"

#include "ctl/ConnectionOptions.h"
#include "ctl/Console.h"
#include "ctl/ExitCode.h"
#include "ctl/Options.h"
#include "ctl/ServeRow.h"
#include "ctl/SnapshotText.h"
#include "ctl/Texts.h"
#include "ctl/serve/ServeTexts.h"
#include "link/Messages.h"
#include "session/JukeboxSession.h"
#include "session/SessionReconnector.h"

#include <QEventLoop>
#include <QRegularExpression>
#include <QTime>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// A signed or unsigned count of one to three digits: "+3", "-12", "30".
struct Amount
{
    QChar sign; // u'+', u'-' or none
    int value = 0;
};

std::optional<Amount> readAmount(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^([+-]?)([0-9]{1,3})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QString sign = match.captured(1);
    return Amount{sign.isEmpty() ? QChar() : sign.at(0), match.captured(2).toInt()};
}

// The line for a failed session operation, with its exit code; "what" names the command.
int fail(SessionResult result, const QString &what, const CommandContext &context)
{
    switch (result) {
    case SessionResult::Done:
        return ExitCode::Done;
    case SessionResult::Forbidden:
        Console::err(CtlText::NotPlaying.arg(what) + u'\n');
        break;
    case SessionResult::NotConfirmed:
        Console::err(CtlText::NotConfirmed.arg(what) + u'\n');
        break;
    case SessionResult::Unreachable:
        Console::err(CtlText::Unreachable.arg(jukeboxName(context.login)) + u'\n');
        break;
    case SessionResult::NobodyListening:
        Console::err(CtlText::NobodyListening.arg(jukeboxName(context.login)) + u'\n');
        break;
    case SessionResult::LinkLost:
        Console::err(CtlText::LinkLost + u'\n');
        break;
    case SessionResult::PasswordRefused:
        // Who typed the password needs no pointer to a variable or a file they never used.
        Console::err((context.passwordTyped ? CtlText::TypedPasswordRefused : CtlText::PasswordRefused) + u'\n');
        break;
    }
    return ExitCode::of(result);
}

// The line that matters after a command. With --json the whole snapshot goes out instead, once,
// when the command has ended (runCommandLine()).
void show(const CommandContext &context, const QString &line)
{
    if (!context.json())
        Console::out(line + u'\n');
}

QString quoted(const QString &word)
{
    return QStringLiteral("\u201E") + word + QStringLiteral("\u201C");
}

// --- status -----------------------------------------------------------------------------------

int runStatus(CommandContext &context)
{
    const JukeboxSnapshot &snapshot = context.session.refresh();
    if (!context.session.isOpen())
        return fail(SessionResult::LinkLost, {}, context);
    if (!context.json())
        Console::out(statusText(snapshot));
    if (context.session.missedAnswers() > 0) {
        Console::err(CtlText::SomeUnknown + u'\n');
        return ExitCode::NotDone;
    }
    return ExitCode::Done;
}

// --- credit -----------------------------------------------------------------------------------

QString checkCredit(const ParsedCommandLine &line)
{
    const QString value = line.words.value(1);
    const std::optional<Amount> amount = readAmount(value);
    if (!amount || amount->sign.isNull() || amount->value < 1 || amount->value > 99)
        return CtlText::CreditValue.arg(value);
    return {};
}

int runCredit(CommandContext &context)
{
    const Amount amount = *readAmount(context.values().value(0));
    const bool remove = amount.sign == u'-';
    const JukeboxSnapshot &snapshot = context.session.refresh();
    if (!context.session.isOpen())
        return fail(SessionResult::LinkLost, {}, context);
    if (remove) {
        // All or nothing: a till that asks for three credits off must not end with two.
        if (!snapshot.credits) {
            show(context, creditsLine(snapshot));
            Console::err(CtlText::CreditsUnknown + u'\n');
            return ExitCode::NotDone;
        }
        if (*snapshot.credits < amount.value) {
            show(context, creditsLine(snapshot));
            Console::err(CtlText::TooFewCredits.arg(*snapshot.credits).arg(amount.value) + u'\n');
            return ExitCode::NotDone;
        }
    }
    // One at a time, each only after the jukebox confirmed the one before, as the panel's
    // button stays off until then.
    SessionResult result = SessionResult::Done;
    for (int i = 0; i < amount.value && result == SessionResult::Done; ++i)
        result = context.session.sendAndConfirm(remove ? Command::RemoveCredit : Command::AddCredit);
    if (result == SessionResult::Forbidden) {
        show(context, creditsLine(context.session.snapshot()));
        Console::err(CtlText::NoCreditLeft + u'\n');
        return ExitCode::NotDone;
    }
    if (result != SessionResult::LinkLost)
        show(context, creditsLine(context.session.snapshot()));
    return fail(result, quoted(*rowOf(remove ? Command::RemoveCredit : Command::AddCredit).wire), context);
}

// --- next, prev, stop and whatever sends one command ------------------------------------------

} // namespace

int runJukeboxCommand(CommandContext &context)
{
    const Command command = context.row.commands.value(0);
    context.session.refresh();
    if (!context.session.isOpen())
        return fail(SessionResult::LinkLost, {}, context);
    const SessionResult result = context.session.sendAndConfirm(command);
    if (result == SessionResult::Done && context.row.done)
        show(context, context.row.done(context.session.snapshot()));
    return fail(result, quoted(context.row.word), context);
}

namespace {

// --- volume -----------------------------------------------------------------------------------

QString checkVolume(const ParsedCommandLine &line)
{
    if (line.words.size() < 2)
        return {};
    const std::optional<Amount> amount = readAmount(line.words.at(1));
    if (!amount || amount->value > 100)
        return CtlText::VolumeValue.arg(line.words.at(1));
    return {};
}

int runVolume(CommandContext &context)
{
    const JukeboxSnapshot &snapshot = context.session.refresh();
    if (!context.session.isOpen())
        return fail(SessionResult::LinkLost, {}, context);
    const std::optional<Amount> amount = readAmount(context.values().value(0));
    if (!amount || !amount->sign.isNull()) {
        if (!snapshot.volume) {
            show(context, volumeLine(snapshot));
            Console::err(CtlText::VolumeUnknown + u'\n');
            return ExitCode::NotDone;
        }
        if (!amount) {
            show(context, volumeLine(snapshot));
            return ExitCode::Done;
        }
    }
    int target = amount->value;
    if (amount->sign == u'+')
        target = *snapshot.volume + amount->value;
    else if (amount->sign == u'-')
        target = *snapshot.volume - amount->value;
    const SessionResult result = context.session.setVolume(std::clamp(target, 0, 100));
    if (result != SessionResult::LinkLost)
        show(context, volumeLine(context.session.snapshot()));
    return fail(result, quoted(Msg::SetVolumePrefix + QString::number(std::clamp(target, 0, 100))), context);
}

// --- quit-jukebox -----------------------------------------------------------------------------

QString checkQuit(const ParsedCommandLine &line)
{
    if (!line.has(Option::Yes) && !Console::inputIsTerminal())
        return CtlText::QuitNeedsYes;
    return {};
}

int runQuit(CommandContext &context)
{
    if (!context.line.has(Option::Yes)) {
        Console::err(CtlText::QuitQuestion.arg(jukeboxName(context.login)));
        const QString answer = Console::readLine().value_or(QString()).trimmed().toLower();
        static const QStringList yes{QStringLiteral("j"), QStringLiteral("ja"), QStringLiteral("y"),
                                     QStringLiteral("yes")};
        if (!yes.contains(answer)) {
            Console::err(CtlText::QuitDeclined + u'\n');
            return ExitCode::NotDone;
        }
    }
    const SessionResult result = context.session.sendAndConfirm(Command::Quit);
    if (result == SessionResult::Done)
        show(context, CtlText::QuitSent);
    return fail(result, quoted(*rowOf(Command::Quit).wire), context);
}

// --- watch ------------------------------------------------------------------------------------

int runWatch(CommandContext &context)
{
    JukeboxSession &session = context.session;
    const bool json = context.json();
    const bool withPosition = context.line.has(Option::Position);
    SessionReconnector reconnector(&session, context.login);
    reconnector.setEnabled(context.line.has(Option::Reconnect));
    QEventLoop loop;

    // Whoever reads the lines (a pager, "| head -5") may go away: then watch is done, quietly,
    // and says so with 0. Noticed by a failed write, or at once where the pipe tells.
    bool readerGone = false;
    const auto endForNobody = [&] {
        readerGone = true;
        loop.exit(ExitCode::Done);
    };
    Console::watchOutputGone(&loop, endForNobody);
    const auto print = [&](const QString &text) {
        if (!readerGone && !Console::out(text))
            endForNobody();
    };

    // What was printed last: the next line says what changed since.
    JukeboxSnapshot shown;
    shown.connected = true;
    const auto report = [&](const JukeboxSnapshot &now) {
        const QStringList lines = changeLines(shown, now, withPosition);
        shown = now;
        if (lines.isEmpty())
            return;
        if (json) {
            print(jsonLine(now));
            return;
        }
        const QString stamp = QTime::currentTime().toString(QStringLiteral("HH:mm:ss "));
        for (const QString &line : lines)
            print(stamp + line + u'\n');
    };
    // Attempts are news for people; in JSON they go to standard error, so that standard output
    // stays one object per line.
    const auto note = [&](const QString &line) {
        const QString text = QTime::currentTime().toString(QStringLiteral("HH:mm:ss ")) + line + u'\n';
        json ? Console::err(text) : print(text);
    };
    const auto begin = [&] {
        JukeboxSnapshot empty;
        empty.connected = true;
        shown = empty;
        session.setFollowing(true);
        report(session.refresh());
    };

    QObject::connect(&session, &JukeboxSession::snapshotChanged, &loop, report);
    QObject::connect(&session, &JukeboxSession::linkLost, &loop, [&] {
        if (!reconnector.isEnabled())
            loop.exit(fail(SessionResult::LinkLost, {}, context));
    });
    QObject::connect(&reconnector, &SessionReconnector::attemptScheduled, &loop,
                     [&](int attempt, int delayMs) { note(CtlText::AttemptIn.arg(attempt).arg(delayMs / 1000)); });
    QObject::connect(&reconnector, &SessionReconnector::attemptFailed, &loop,
                     [&](int attempt, SessionResult) { note(CtlText::AttemptFailed.arg(attempt)); });
    QObject::connect(&reconnector, &SessionReconnector::reconnected, &loop, [&] {
        note(CtlText::Reconnected);
        begin();
    });
    QObject::connect(&reconnector, &SessionReconnector::gaveUp, &loop,
                     [&](SessionResult result) { loop.exit(fail(result, {}, context)); });

    const SessionResult opened = session.open(context.login);
    if (opened == SessionResult::Done) {
        begin();
    } else if (opened == SessionResult::PasswordRefused || !reconnector.isEnabled()) {
        if (json)
            Console::out(jsonLine(session.snapshot()));
        return fail(opened, {}, context);
    } else {
        fail(opened, {}, context);
        reconnector.startAttempts();
    }
    // An exit() before exec() would be lost: the first report may already have found nobody.
    return readerGone ? ExitCode::Done : loop.exec();
}

// --- help -------------------------------------------------------------------------------------

const CommandRow *findCommand(const QString &word)
{
    const QList<CommandRow> &rows = commandTable();
    const auto row =
        std::find_if(rows.begin(), rows.end(), [&word](const CommandRow &candidate) { return candidate.word == word; });
    return row == rows.end() ? nullptr : &*row;
}

QString commandHelpLine(const CommandRow &row)
{
    return helpLine(QStringLiteral("  ") + row.word + (row.values.isEmpty() ? QString() : u' ' + row.values), row.help);
}

QString checkHelp(const ParsedCommandLine &line)
{
    if (line.words.size() > 1 && !findCommand(line.words.at(1)))
        return CtlText::UnknownCommand.arg(line.words.at(1));
    return {};
}

// "help" alone is the whole help; "help WORD" is that command's line and the options it takes.
int runHelp(CommandContext &context)
{
    const CommandRow *row = findCommand(context.values().value(0));
    if (!row) {
        Console::out(usageText());
        return ExitCode::Done;
    }
    QList<OptionRow> options = row->connects ? connectionOptionRows() : QList<OptionRow>();
    for (const OptionRow &option : optionTable()) {
        if (row->options.contains(option.name))
            options << option;
    }
    const QString call = (row->word + u' ' + row->values).trimmed();
    QString text = CtlText::CommandUsageHead.arg(options.isEmpty() ? call : CtlText::WithOptions.arg(call));
    text += commandHelpLine(*row);
    if (!options.isEmpty())
        text += CtlText::UsageOptions + optionsHelp(options);
    Console::out(text);
    return ExitCode::Done;
}

// --- serve ------------------------------------------------------------------------------------

QStringList optionNames(const QList<OptionRow> &rows)
{
    QStringList names;
    for (const OptionRow &row : rows)
        names << row.name;
    return names;
}

} // namespace

bool CommandContext::json() const
{
    return line.has(Option::Json);
}

const QList<CommandRow> &commandTable()
{
    static const QList<CommandRow> rows = [] {
        const QStringList json{Option::Json};
        const QStringList serve = optionNames(serveOptionRows());
        const auto stopped = [](const JukeboxSnapshot &) { return CtlText::PlaybackStopped; };
        return QList<CommandRow>{
            {.word = u"status"_s, .help = CtlText::HelpStatus, .options = json, .run = runStatus},
            {.word = u"credit"_s,
             .values = u"+N|-N"_s,
             .help = CtlText::HelpCredit,
             .minValues = 1,
             .maxValues = 1,
             .options = json,
             .check = checkCredit,
             .run = runCredit,
             .commands = {Command::AddCredit, Command::RemoveCredit},
             .offered = {u"+1"_s, u"-1"_s}},
            {.word = u"next"_s,
             .help = CtlText::HelpNext,
             .options = json,
             .run = runJukeboxCommand,
             .commands = {Command::NextTitle},
             .done = titleLine},
            {.word = u"prev"_s,
             .help = CtlText::HelpPrev,
             .options = json,
             .run = runJukeboxCommand,
             .commands = {Command::PrevTitle},
             .done = titleLine},
            {.word = u"stop"_s,
             .help = CtlText::HelpStop,
             .options = json,
             .run = runJukeboxCommand,
             .commands = {Command::Stop},
             .done = stopped},
            {.word = u"volume"_s,
             .values = u"[N|+N|-N]"_s,
             .help = CtlText::HelpVolume,
             .maxValues = 1,
             .options = json,
             .check = checkVolume,
             .run = runVolume},
            {.word = u"quit-jukebox"_s,
             .help = CtlText::HelpQuit,
             .options = {Option::Yes, Option::Json},
             .check = checkQuit,
             .run = runQuit,
             .commands = {Command::Quit}},
            {.word = u"watch"_s,
             .help = CtlText::HelpWatch,
             .options = {Option::Json, Option::Position, Option::Reconnect},
             .run = runWatch,
             .opensSession = false},
            {.word = u"serve"_s,
             .help = ServeText::HelpServe,
             .options = serve,
             .check = checkServe,
             .run = runServeCommand,
             .opensSession = false},
            {.word = u"help"_s,
             .values = u"[BEFEHL]"_s,
             .help = CtlText::HelpHelp,
             .maxValues = 1,
             .check = checkHelp,
             .run = runHelp,
             .opensSession = false,
             .connects = false},
        };
    }();
    return rows;
}

QString usageText()
{
    QString commands;
    for (const CommandRow &row : commandTable())
        commands += commandHelpLine(row);
    return CtlText::UsageHead + commands + CtlText::UsageOptions + optionsHelp() + CtlText::UsageTail;
}

int runCommandLine(const QStringList &arguments, const QString &version)
{
    const ParsedCommandLine line = parseCommandLine(arguments);
    if (!line.error.isEmpty()) {
        Console::err(line.error + u'\n');
        return ExitCode::WrongUse;
    }
    if (line.has(Option::Help)) {
        Console::out(usageText());
        return ExitCode::Done;
    }
    if (line.has(Option::Version)) {
        Console::out(CtlText::ProgramName + u' ' + version + u'\n');
        return ExitCode::Done;
    }
    if (line.words.isEmpty()) {
        Console::err(CtlText::NoCommand + u'\n');
        return ExitCode::WrongUse;
    }
    const CommandRow *row = findCommand(line.words.at(0));
    if (!row) {
        Console::err(CtlText::UnknownCommand.arg(line.words.at(0)) + u'\n');
        return ExitCode::WrongUse;
    }
    const qsizetype values = line.words.size() - 1;
    if (values < row->minValues || values > row->maxValues) {
        Console::err(CtlText::WrongArguments.arg((row->word + u' ' + row->values).trimmed()) + u'\n');
        return ExitCode::WrongUse;
    }
    if (row->check) {
        if (const QString error = row->check(line); !error.isEmpty()) {
            Console::err(error + u'\n');
            return ExitCode::WrongUse;
        }
    }

    JukeboxSession session;
    if (!row->connects) {
        CommandContext context{*row, line, {}, session};
        return row->run(context);
    }
    ConnectionChoice choice = chooseJukebox(line);
    if (choice.error.isEmpty())
        choosePassword(line, choice);
    if (!choice.error.isEmpty()) {
        Console::err(choice.error + u'\n');
        return ExitCode::WrongUse;
    }

    CommandContext context{*row, line, choice.login, session, choice.passwordTyped};
    if (!row->opensSession)
        return row->run(context);
    const SessionResult opened = session.open(choice.login);
    const int code = opened == SessionResult::Done ? row->run(context) : fail(opened, {}, context);
    // One object, whatever happened once the command line was right: a script always has a
    // state to read, with connected = false where there is no link.
    if (context.json())
        Console::out(jsonLine(session.snapshot()));
    return code;
}
