#pragma once

// The one place that tells a Windows console our output is UTF-8, so that "Lautstärke", "ß" and
// "€" read correctly in cmd.exe and PowerShell. Does nothing elsewhere, where terminals take
// UTF-8 anyway, and nothing without a console.
void useUtf8Console();
