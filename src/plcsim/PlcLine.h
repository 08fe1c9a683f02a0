#pragma once

#include <string>

namespace vantor::plcsim {

// Where a PlcSession carries out what the simulated PLC does: one per transport (a pseudo-terminal,
// a TCP client, a link inside this process). Called on the thread that serves the line.
class PlcLine
{
public:
    virtual ~PlcLine() = default;

    // Lets ms milliseconds pass before the next action (0: none); false when the server was asked to
    // stop meanwhile, and nothing more is to be done then.
    virtual bool pause(int ms) = 0;
    // Puts bytes on the line, as the PLC's answer.
    virtual void send(const std::string& bytes) = 0;
    // From now on the line carries floodBytes() over and over, never a line end, without blocking.
    virtual void flood() = 0;
    // Closes the line for good: whoever is on it sees it lost.
    virtual void hangUp() = 0;

    // What a flooding PLC sends, one piece at a time.
    static const std::string& floodBytes()
    {
        static const std::string bytes(4096, 'A');
        return bytes;
    }
};

} // namespace vantor::plcsim
