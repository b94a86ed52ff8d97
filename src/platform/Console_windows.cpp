#include "platform/Console.h"

#include <cstdio>
#include <qt_windows.h>

namespace {

// A windowed program gets standard handles only where its starter handed some over (a
// pipe, a file, Wine's terminal); those stay as they are.
bool hasHandle(DWORD which)
{
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

} // namespace

void attachParentConsole()
{
    const bool out = hasHandle(STD_OUTPUT_HANDLE), err = hasHandle(STD_ERROR_HANDLE);
    if ((out && err) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return; // redirected already, or started without a console (the Start menu)
    if (!out)
        std::freopen("CONOUT$", "w", stdout);
    if (!err)
        std::freopen("CONOUT$", "w", stderr);
}
