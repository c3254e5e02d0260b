#include "common/Utf8Console.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

void useUtf8Console()
{
#ifdef Q_OS_WIN
    // Without it the console reads our UTF-8 bytes in its OEM code page (850 in Germany).
    SetConsoleOutputCP(CP_UTF8);
#endif
}
