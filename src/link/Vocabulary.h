#pragma once

#include "link/IncomingRoute.h"
#include "link/Messages.h"

#include <QString>
#include <array>
#include <cstddef>
#include <optional>

// The jukebox's commands, one row each: the text on the wire, how the jukebox confirms it and
// when it is allowed. The session, the simulator, the panel, the desktop's media interface, the
// command line and the web remote name a Command and read its row; none of them codes a rule of
// its own. The volume is no Command: it carries a value, and every surface has a bar for it.
//
// A new command is a value here and its row below; each surface that shows it adds a row to its
// own table (the panel's controls, the web remote's actions, kurvanctl's commands).
enum class Command
{
    AddCredit,
    RemoveCredit,
    NextTitle,
    PrevTitle,
    Stop,
    Quit
};

// How the jukebox confirms a command it has taken.
enum class Confirmation
{
    // Its notice (the row's notice).
    Notice,
    // "ChangeCredit", or a credit count that differs from the one before: the jukebox does not
    // always send the notice. A count only says something when it is known from before the
    // command, so a surface holds such a command back until the one before it is confirmed.
    CreditCount,
    // It ends, and takes the link with it.
    LinkCloses,
    // Nothing: the command is done once it is sent.
    Nothing
};

// When a command may go out.
enum class Allowance
{
    Always,
    WhilePlaying,    // the jukebox is known to play
    CreditsAboveZero // the jukebox is known to have a credit to take
};

struct VocabularyRow
{
    Command command;
    const QString *wire;
    Confirmation confirmation;
    // The notice that confirms it: set exactly for Notice and CreditCount.
    std::optional<Incoming> notice;
    Allowance allowance;
};

inline constexpr VocabularyRow kCommands[] = {
    {Command::AddCredit, &Msg::AddCredit, Confirmation::CreditCount, Incoming::ChangeCredit, Allowance::Always},
    {Command::RemoveCredit, &Msg::RemoveCredit, Confirmation::CreditCount, Incoming::ChangeCredit,
     Allowance::CreditsAboveZero},
    {Command::NextTitle, &Msg::NextTitle, Confirmation::Notice, Incoming::ChangeTitle, Allowance::WhilePlaying},
    {Command::PrevTitle, &Msg::PrevTitle, Confirmation::Notice, Incoming::ChangeTitle, Allowance::WhilePlaying},
    {Command::Stop, &Msg::Stop, Confirmation::Notice, Incoming::PlayStatusStop, Allowance::WhilePlaying},
    {Command::Quit, &Msg::Quit, Confirmation::LinkCloses, std::nullopt, Allowance::Always},
};
inline constexpr std::size_t kCommandCount = std::size(kCommands);

namespace Vocabulary {

// The waits every surface shares.
// A connection that does not stand within this never will: the jukebox is taken as unreachable.
inline constexpr int kConnectTimeout = 5000;
// How often a surface asks for the state the jukebox sends no notice of (volume, position).
inline constexpr int kPollInterval = 2000;
// How long a command waits for its confirmation, and a held control for its return.
inline constexpr int kConfirmTimeout = 5000;
// How long a volume control rests before its value goes out: a drag sends once, not per step.
inline constexpr int kVolumeRest = 500;

constexpr bool rowsInOrder()
{
    for (std::size_t i = 0; i < kCommandCount; ++i) {
        const VocabularyRow &row = kCommands[i];
        // Whether each row has its wire text is left to the unit test: under AddressSanitizer
        // a global's address is no constant expression, not even against null.
        if (static_cast<std::size_t>(row.command) != i)
            return false;
        const bool byNotice = row.confirmation == Confirmation::Notice || row.confirmation == Confirmation::CreditCount;
        if (byNotice != row.notice.has_value())
            return false;
    }
    return true;
}
static_assert(rowsInOrder(), "one row per Command, in its order, each with its notice where one confirms it");

} // namespace Vocabulary

constexpr const VocabularyRow &rowOf(Command command)
{
    return kCommands[static_cast<std::size_t>(command)];
}

// A control that sent this command stays off until the jukebox confirms it, or for
// kConfirmTimeout at most: a second credit before the first is counted could not be told apart.
constexpr bool heldUntilConfirmed(Command command)
{
    return rowOf(command).confirmation == Confirmation::CreditCount;
}

// The one rule: whether command may go out while the jukebox is as given (playing and credits
// as last read; nullopt where unknown). An unknown state allows nothing that depends on it.
constexpr bool isAllowed(Command command, std::optional<bool> playing, std::optional<int> credits)
{
    switch (rowOf(command).allowance) {
    case Allowance::Always:
        return true;
    case Allowance::WhilePlaying:
        return playing.value_or(false);
    case Allowance::CreditsAboveZero:
        return credits.value_or(0) > 0;
    }
    return false;
}

// The command a text on the wire asks for: a wire text exactly, or for a command whose wire
// text carries a count ("AddCredit|1"), its name with any value; nullopt for any other text.
std::optional<Command> commandOfWire(const QString &text);
