#pragma once

#include "link/Vocabulary.h"

#include <QString>
#include <array>
#include <optional>

// What the panel shows and allows right now, for observers beside the window (the desktop's
// media interface). Every field reads a control or state field the panel already keeps: the
// jukebox is asked nothing for it.
struct PanelState
{
    // The current song's name exactly as the panel shows it ("-" before the first login).
    QString song;
    // The jukebox reports that a title plays.
    bool playing = false;
    // The song length the jukebox last reported, once it has reported one; the position in the
    // same unit (the jukebox counts both in seconds).
    std::optional<float> songLength;
    float songPosition = 0.0f;
    // The volume bar, 0 to 100.
    int volume = 0;
    // The credit count exactly as the panel shows it (empty before the first answer).
    QString credits;

    // Whether the button of each command, and the volume bar, is enabled: what a click on it
    // would do right now. Indexed by Command.
    std::array<bool, kCommandCount> allowed{};
    bool canSetVolume = false;

    bool allows(Command command) const { return allowed.at(static_cast<std::size_t>(command)); }
    bool operator==(const PanelState &) const = default;
};
