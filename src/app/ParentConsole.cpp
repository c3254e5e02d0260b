#include "app/ParentConsole.h"

#include "common/Utf8Console.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <cstdio>
#include <windows.h>
#endif

void attachParentConsole()
{
#ifdef Q_OS_WIN
    // A redirected output already has a handle; only a missing one is taken from the console.
    const auto missing = [](DWORD which) {
        const HANDLE handle = GetStdHandle(which);
        return handle == nullptr || handle == INVALID_HANDLE_VALUE;
    };
    const bool needOut = missing(STD_OUTPUT_HANDLE);
    const bool needErr = missing(STD_ERROR_HANDLE);
    if (!(needOut || needErr) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    FILE *reopened = nullptr;
    if (needOut)
        freopen_s(&reopened, "CONOUT$", "w", stdout);
    if (needErr)
        freopen_s(&reopened, "CONOUT$", "w", stderr);
    useUtf8Console();
#endif
}
