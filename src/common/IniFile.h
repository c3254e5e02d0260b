#pragma once

#include <QString>

// One entry of a settings file in the "[Section]" / "key=value" layout, stored in the Windows
// Western code page. Section and key names match without regard to letter case; blanks around
// "=" do not count, as in files written by hand or by other tools. Values come back exactly as
// written ("=", ";", "," and blanks at either end included: such a value is stored in quotes).

// The value of key in section of file; defaultValue when the file, the section or the key is
// missing or the file cannot be read. An entry with nothing after "=" gives "". At most 1023
// bytes come back; a longer value arrives cut.
QString ReadIni(const QString &file, const QString &section, const QString &key, const QString &defaultValue);

// Stores value as key in section of file, creating file, section or entry as needed and
// replacing an existing value. The file is replaced as a whole (written aside, then renamed),
// so an interrupted write leaves the old file. Line breaks in value are stored as blanks. A
// write that fails is silent.
void WriteIni(const QString &file, const QString &section, const QString &key, const QString &value);
