#pragma once

#include <cstdio>

namespace vantor::cli {

// Whether a standard stream goes to a terminal (a person) rather than a file or a pipe (a script).
class Terminal
{
public:
    static bool isTerminal(std::FILE* stream);
};

} // namespace vantor::cli
