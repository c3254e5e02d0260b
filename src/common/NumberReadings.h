#pragma once

#include <QString>
#include <optional>

// The three ways the panel reads a received text as a number. Two follow the user's locale
// (QLocale()), one does not; callers pick the one the jukebox's value calls for.

// True when the whole text, blanks around it aside, reads as a number under QLocale().
bool IsNumber(const QString &text);

// The decimal number the text begins with, after leading blanks, with optional sign and "."
// as decimal point whatever the locale. 0 when the text does not begin with a number, so
// "TimeOut" and "" give 0.
double LeadingNumberValue(const QString &text);

// The whole text as a single-precision number under QLocale(); nullopt when the text is not a
// number as a whole or does not fit a float.
std::optional<float> FullConversion(const QString &text);
