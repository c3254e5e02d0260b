#pragma once

#include <QString>
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

    // Whether the matching control is enabled: what a click on it would do right now.
    bool canAddCredit = false;
    bool canRemoveCredit = false;
    bool canNextTitle = false;
    bool canPrevTitle = false;
    bool canStop = false;
    bool canSetVolume = false;

    bool operator==(const PanelState &) const = default;
};
