#pragma once

#include "link/Vocabulary.h"
#include "panel/Texts.h"

#include <QRect>
#include <QString>
#include <iterator>
#include <optional>

// The panel's controls that act or are switched, one row each: the one list that the switching
// (SetControlsEnabled), the transport group, the keyboard order, the observers and the command
// buttons are made from. Title, version and status line are not here: they stay readable.
//
// Names from the original panel and where they live now:
//   Winsock1          the socket, owned by JukeboxLink (link/JukeboxLink.h)
//   tmrCheckStatus    the status poll, Kurvan::tmrCheckStatus_Timer, paused during every query
//   scrVol            the volume bar (panel/VolumeBar.h); its moves go out after
//                     Vocabulary::kVolumeRest
//   Label1..Label5    the fixed captions: title, version caption, volume, current title, credits
//   cmdEnd            "Tonalis beenden": sends the quit command; the program itself stays
//   ProcessMessage    three steps: ReceiveBuffer (frames), RouteMessage (meaning), the link's
//                     dispatch of kNotices to Kurvan's handlers
//   QueryValue        Kurvan::QueryValue over JukeboxLink::query, which owns the wait
namespace PanelControl {

enum Role : unsigned
{
    Switched = 1u << 0,  // SetControlsEnabled switches it with the others
    Transport = 1u << 1, // on only while a title plays
    Observed = 1u << 2,  // observers hear of every switch of it (PanelState reports it)
    Confirmed = 1u << 3, // a command button that stays off after its click until the jukebox confirms
};

struct Row
{
    const char *name; // the objectName
    unsigned roles;   // those of its own; a command button's others follow from its command
    int tabPlace;     // position in the keyboard order from 1; 0: not reached by Tab
    // Command buttons only: caption, name for screen readers (the caption when null), the
    // command a click sends, and the box in twips.
    const QString *caption = nullptr;
    const QString *spokenName = nullptr;
    std::optional<Command> command = std::nullopt;
    QRect box = {};
};

inline constexpr Row kRows[] = {
    {"Label5", Switched, 0},
    {"cmdCreditMinus", Switched, 3, &PanelText::Minus, &PanelText::RemoveCreditName, Command::RemoveCredit,
     QRect(2520, 915, 615, 495)},
    {"lblCredits", Switched, 0},
    {"cmdCreditPlus", Switched, 2, &PanelText::Plus, &PanelText::AddCreditName, Command::AddCredit,
     QRect(4080, 915, 615, 495)},
    {"Label3", Switched, 0},
    {"scrVol", Switched | Observed, 1},
    {"Label4", Switched, 0},
    {"lblCurrentSong", Switched, 0},
    {"ProgressBar1", Switched, 0},
    {"cmdEnd", Switched, 7, &PanelText::QuitJukebox, nullptr, Command::Quit, QRect(120, 4200, 2055, 615)},
    {"cmdStop", Switched, 6, &PanelText::StopSymbol, &PanelText::StopName, Command::Stop, QRect(2280, 4200, 855, 615)},
    {"cmdPrevTitle", Switched, 5, &PanelText::PrevSymbol, &PanelText::PrevName, Command::PrevTitle,
     QRect(3240, 4200, 1335, 615)},
    {"cmdNextTitle", Switched, 4, &PanelText::NextSymbol, &PanelText::NextName, Command::NextTitle,
     QRect(4680, 4200, 1335, 615)},
};

// The roles of row: its own, and for a command button what its command's row says: observed,
// in the transport group when the command needs a title playing, held after a click when the
// jukebox's confirmation must come first.
constexpr unsigned rolesOf(const Row &row)
{
    if (!row.command)
        return row.roles;
    unsigned roles = row.roles | Observed;
    if (rowOf(*row.command).allowance == Allowance::WhilePlaying)
        roles |= Transport;
    if (heldUntilConfirmed(*row.command))
        roles |= Confirmed;
    return roles;
}

constexpr bool has(const Row &row, Role role)
{
    return (rolesOf(row) & role) != 0;
}

} // namespace PanelControl
