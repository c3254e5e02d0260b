#pragma once

#include <QString>

// kurvanctl's completion for the shells, made from its command and option tables, so that a
// shell offers exactly the commands there are, the options each command takes, and the values
// an option or a command expects. Written into files when the program is built.
enum class Shell
{
    Bash,
    Zsh,
    Fish
};

// The whole completion script for shell, as the file it is installed as.
QString completionScript(Shell shell);
// The file name that shell looks for: "kurvanctl", "_kurvanctl", "kurvanctl.fish".
QString completionFileName(Shell shell);
