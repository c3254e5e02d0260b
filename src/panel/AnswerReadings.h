#pragma once

#include <QString>
#include <optional>

// How the panel reads the jukebox's answers as numbers. Each says what it accepts; what it
// does not accept leaves the control concerned as it was.

// The volume bar's value for a volume answer: its leading number rounded half to even, when
// that lies on the bar (0 to 100). "TimeOut" and other texts without a number give 0.
std::optional<int> volumeReading(const QString &answer);

// A song position: the leading number in single precision (0 without one). The progress bar
// still refuses a negative position or one past the song length.
float positionReading(const QString &answer);

// A song length: only an answer whose leading number is greater than 0 counts, "TimeOut" never.
// Read as a whole under the user's locale (wholeText), or as its leading number.
std::optional<float> lengthReading(const QString &answer, bool wholeText);

// A credit count the credit buttons follow: the answer when it reads as a number as a whole,
// and then whether it is above 0.
std::optional<bool> creditsAboveZero(const QString &answer);
