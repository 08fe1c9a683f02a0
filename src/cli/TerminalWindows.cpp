#include "cli/Terminal.h"

#include <io.h>

namespace vantor::cli {

bool Terminal::isTerminal(std::FILE* stream)
{
    return ::_isatty(::_fileno(stream)) != 0;
}

void Terminal::prepareStandardStreams()
{
    // Windows gives a program without a console NUL-like streams, and has no SIGPIPE.
}

} // namespace vantor::cli
