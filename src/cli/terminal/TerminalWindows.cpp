#include "cli/terminal/Terminal.h"

#include <io.h>
#include <windows.h>

namespace vantor::cli {

bool Terminal::isTerminal(std::FILE* stream)
{
    return ::_isatty(::_fileno(stream)) != 0;
}

bool Terminal::movesCursor(std::FILE* stream)
{
    if (!isTerminal(stream))
        return false;
    const HANDLE console = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
    DWORD mode = 0;
    return ::GetConsoleMode(console, &mode) &&
           ::SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

void Terminal::prepareStandardStreams()
{
    // Windows gives a program without a console NUL-like streams, and has no SIGPIPE.
}

} // namespace vantor::cli
