#pragma once

#include <QString>
#include <optional>

// How the session reads the jukebox's answers into its snapshot. Unlike the panel, which keeps
// a control as it was, an answer that does not read gives nullopt: the value is unknown, never 0.

// A credit count: an answer that is a whole number of 0 or more.
std::optional<int> creditReading(const QString &answer);

// The volume: the leading number rounded half to even, when that lies in 0..100.
std::optional<int> volumeValue(const QString &answer);

// A song length in seconds: only an answer whose leading number is greater than 0 counts.
std::optional<double> lengthValue(const QString &answer);

// A song position in seconds: the leading number, when it is not negative.
std::optional<double> positionValue(const QString &answer);

// The title as the panel shows it: the file name without extension, every "_" as a blank.
QString displayTitle(const QString &path);
