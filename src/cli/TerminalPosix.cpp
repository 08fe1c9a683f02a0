#include "cli/Terminal.h"

#include <unistd.h>

namespace vantor::cli {

bool Terminal::isTerminal(std::FILE* stream)
{
    return ::isatty(::fileno(stream)) == 1;
}

} // namespace vantor::cli
