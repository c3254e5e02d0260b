#pragma once

#include <QString>
#include <optional>

// The terminal as kurvanctl uses it: UTF-8 text out, lines in, a password typed without echo.
// Everything that differs between Linux and Windows consoles is in Console.cpp.
namespace Console {

// Once at start: makes the Windows console show UTF-8 output as written (umlauts, ß, €), and
// keeps Qt's own warnings off standard error unless QT_LOGGING_RULES asks for them.
void prepare();

// Writes text as UTF-8 and flushes, so a pipe sees each line of watch at once.
void out(const QString &text);
void err(const QString &text);

// Whether standard input is a terminal (not a pipe, a file or nothing).
bool inputIsTerminal();

// One line of standard input without its line end; nullopt at the end of the input.
std::optional<QString> readLine();

// Shows prompt on standard error and reads one line from the terminal without echoing it.
std::optional<QString> readHidden(const QString &prompt);

} // namespace Console
