#pragma once

#include <QString>

// Splitting of message texts into fields and of song paths into file names. Positions and
// counts are plain ints: long texts are counted and cut correctly.

// Field fieldNumber (from 1) of text split at delimiter. A text that holds no delimiter gives
// the empty string for every field, field 1 included. For count >= 2 the run of fields from
// fieldNumber on is returned with every field followed by the delimiter (a|b|c, 2, "|", 2 gives
// "b|c|"). A field number below 1 or an empty delimiter gives the empty string.
QString GetField(const QString &text, int fieldNumber, const QString &delimiter, int count = 1);

// How often pattern occurs in text, overlapping occurrences included ("aa" in "aaaa" is 3).
// An empty text or an empty pattern gives 0.
int CountOccurrences(const QString &text, const QString &pattern);

// The part of path after its last "\" ("/" is an ordinary character); without the extension
// after the name's last "." unless keepExtension is set. A path ending in "\" gives "".
QString FileNameFromPath(const QString &path, bool keepExtension);
