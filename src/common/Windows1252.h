#pragma once

#include <QByteArray>
#include <QString>

// The jukebox speaks one byte per character in the Windows Western code page. Every byte
// decodes to some character (the five bytes the code page leaves free map to U+0081 and kin,
// as Windows does); a character the code page cannot hold is sent as "?".
QByteArray ToWindows1252(QStringView text);
QString FromWindows1252(QByteArrayView bytes);
