#pragma once

#include "serial/Port.h"

#include <string>

namespace vantor::plcsim {

// How the simulator words the modem line changes and breaks it is asked for, in its verbose output
// and in SimulatedPlcPort::controls(), so that a test reads one wording wherever it looks.
class LineControlText
{
public:
    // "DTR on", "RTS off".
    static std::string modemLine(serial::ModemLine line, bool on)
    {
        return std::string(serial::Port::lineName(line)) + (on ? " on" : " off");
    }
    // "break 250 ms".
    static std::string breakOf(int ms) { return "break " + std::to_string(ms) + " ms"; }
    // "break on", "break off": a break whose length the simulator only sees as its two ends.
    static std::string breakState(bool on) { return on ? "break on" : "break off"; }
};

} // namespace vantor::plcsim
