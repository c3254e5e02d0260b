#pragma once

#include "session/JukeboxSession.h"

// kurvanctl's exit codes, the same on Linux and Windows.
namespace ExitCode {

constexpr int Done = 0;
constexpr int NotDone = 1; // the jukebox's state forbade it, or an answer did not come in time
constexpr int WrongUse = 2;
constexpr int NoConnection = 3; // nobody took the connection, none within 5 s, or the link was lost
constexpr int PasswordRefused = 4;

constexpr int of(SessionResult result)
{
    switch (result) {
    case SessionResult::Done:
        return Done;
    case SessionResult::Forbidden:
    case SessionResult::NotConfirmed:
        return NotDone;
    case SessionResult::Unreachable:
    case SessionResult::NobodyListening:
    case SessionResult::LinkLost:
        return NoConnection;
    case SessionResult::PasswordRefused:
        return PasswordRefused;
    }
    return NotDone;
}

} // namespace ExitCode
