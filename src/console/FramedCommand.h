#pragma once

#include "serial/Result.h"

#include <cstdint>
#include <string>

namespace vantor::console {

// A command typed for a frame (C2, CL, a record's code and data) turned into the frame for one PLC,
// "@" + ID + command + FCS + "*", as the upload builds it. Only what keeps the frame the one its FCS
// was computed for is taken: two characters or more of printable ASCII without "*".
class FramedCommand
{
public:
    // Sets frame to the frame for id; a refusal leaves it alone, names the command (its control
    // characters escaped) and says what a command may be, in words that may follow an option's name
    // ("--frame ").
    static serial::Result<> build(std::int16_t id, const std::string& command, std::string* frame);
};

} // namespace vantor::console
