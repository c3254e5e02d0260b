#pragma once

#include "session/JukeboxSnapshot.h"

#include <QString>
#include <QStringList>

// kurvanctl's output of the jukebox's state: German lines for people, JSON for scripts. An
// unknown value reads "unbekannt" or null, never 0.

// text with every control character (C0, DEL, C1) replaced by U+FFFD, so that what the jukebox
// sends can neither move the cursor, clear the screen nor start a line of its own. Everything
// else, umlauts included, stays as it is.
QString terminalText(const QString &text);

// Seconds as m:ss (h:mm:ss from an hour on); "unbekannt" when unknown.
QString durationText(std::optional<double> seconds);

// The label and value of one field: "Credits: 3".
QString creditsLine(const JukeboxSnapshot &snapshot);
QString volumeLine(const JukeboxSnapshot &snapshot);
QString titleLine(const JukeboxSnapshot &snapshot);

// Every field of the status, one line each, in the panel's order.
QString statusText(const JukeboxSnapshot &snapshot);

// The snapshot as one line of compact JSON with the fixed keys.
QString jsonLine(const JukeboxSnapshot &snapshot);

// What watch reports between two snapshots, one line per changed field: title, play status,
// credits, volume, the position only withPosition, and the loss of the link.
QStringList changeLines(const JukeboxSnapshot &before, const JukeboxSnapshot &after, bool withPosition);
