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
    // A stream that cannot be reopened stays as it was: it printed nowhere before either.
    if (needOut && !std::freopen("CONOUT$", "w", stdout))
        return;
    if (needErr && !std::freopen("CONOUT$", "w", stderr))
        return;
    useUtf8Console();
#endif
}
