#include "app/ConsoleOutput.h"

#ifdef _WIN32
#include <cstdio>
#include <windows.h>
#endif

namespace vantor::app {

#ifdef _WIN32
namespace {
bool leadsSomewhere(DWORD which)
{
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}
} // namespace

bool ConsoleOutput::reachParentConsole()
{
    // Redirected output (a pipe, a file) is used as it is: that is where the caller wants it.
    if (leadsSomewhere(STD_OUTPUT_HANDLE))
        return true;
    if (!AttachConsole(ATTACH_PARENT_PROCESS))
        return false; // double-clicked, or started by a program without a console
    std::FILE* ignored = nullptr;
    freopen_s(&ignored, "CONOUT$", "w", stdout);
    if (!leadsSomewhere(STD_ERROR_HANDLE))
        freopen_s(&ignored, "CONOUT$", "w", stderr);
    return true;
}
#else
bool ConsoleOutput::reachParentConsole()
{
    return true;
}
#endif

} // namespace vantor::app
