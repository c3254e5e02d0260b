#pragma once

// kurvan-client.exe is a window program, so Windows starts it without a console and "--version"
// or "--help" typed in cmd.exe or PowerShell would print nowhere. This attaches standard output
// and standard error to the console of the program that started it, when there is one and
// they are not already redirected to a file or a pipe. Does nothing on other systems.
void attachParentConsole();
