#pragma once

#include <QJsonObject>
#include <QString>
#include <optional>

// One reading of the jukebox's state, as the panel shows it. A value the jukebox did not give in
// time stays empty: it is shown as unknown, never as 0.
struct JukeboxSnapshot
{
    bool connected = false; // logged in and the link stands
    std::optional<QString> version;
    std::optional<QString> type;
    std::optional<int> credits;
    std::optional<bool> playing;    // the play status is "Spielt"
    std::optional<QString> title;   // the panel's form: file name without extension, "_" as blank
    std::optional<QString> path;    // the jukebox's raw path
    std::optional<double> length;   // seconds
    std::optional<double> position; // seconds
    std::optional<int> volume;      // 0..100

    bool operator==(const JukeboxSnapshot &) const = default;
};

// The fixed keys of `kurvanctl status --json`, of each `watch --json` line and of the web
// remote's state: "connected", "version", "type", "credits", "playing", "title", "path",
// "length", "position", "volume"; null for what is unknown.
QJsonObject snapshotToJson(const JukeboxSnapshot &snapshot);
