#include "cli/Terminal.h"

#include <io.h>

namespace vantor::cli {

bool Terminal::isTerminal(std::FILE* stream)
{
    return ::_isatty(::_fileno(stream)) != 0;
}

} // namespace vantor::cli
