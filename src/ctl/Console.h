#pragma once

#include <QString>
#include <functional>
#include <optional>

class QObject;

// The terminal as kurvanctl uses it: UTF-8 text out, lines in, a password typed without echo.
// Everything that differs between Linux and Windows consoles is in Console.cpp.
namespace Console {

// Once at start: makes the Windows console show UTF-8 output as written (umlauts, ß, €), keeps
// Qt's own warnings off standard error unless QT_LOGGING_RULES asks for them, and turns a write
// to a pipe without reader into a failed out() instead of the end of the process.
void prepare();

// Writes text as UTF-8 and flushes, so a pipe sees each line of watch at once. out() is false
// when the text did not all go out: nobody reads standard output any more.
bool out(const QString &text);
void err(const QString &text);

// Calls gone() once standard output is a pipe whose reader has gone, without waiting for the
// next out(); for as long as context lives. Does nothing where there is no such pipe to watch
// (a terminal, a file, Windows): there a failed out() says it.
void watchOutputGone(QObject *context, const std::function<void()> &gone);

// Whether standard input is a terminal (not a pipe, a file or nothing).
bool inputIsTerminal();

// Whether standard output is a terminal, where a picture drawn in characters is worth showing.
bool outputIsTerminal();

// One line of standard input without its line end; nullopt at the end of the input.
std::optional<QString> readLine();

// Shows prompt on standard error and reads one line from the terminal without echoing it.
std::optional<QString> readHidden(const QString &prompt);

} // namespace Console
