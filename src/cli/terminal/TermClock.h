#pragma once

#include <string>

namespace vantor::cli {

// The wall clock as `vantor term` writes it, local time to the millisecond.
class TermClock
{
public:
    // "10:42:01.120", for the screen.
    static std::string timeOfDay();
    // "2025-06-02T10:42:01.120+0200", for the log.
    static std::string dated();
};

} // namespace vantor::cli
