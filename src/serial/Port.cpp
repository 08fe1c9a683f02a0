#include "serial/Port.h"

namespace vantor::serial {

std::string Port::lostText(const std::string& displayName, const std::string& what, const std::string& advice)
{
    return "Lost the connection to " + displayName + (what.empty() ? "" : ": " + what) + ". " + advice;
}

Result<> Port::setModemLine(ModemLine line, bool on)
{
    if (!isOpen())
        return failed(std::string("the port is not open, so ") + lineName(line) + " cannot be set.");
    return changeModemLine(line, on);
}

Result<> Port::sendBreak(int durationMs)
{
    if (!isOpen())
        return failed("the port is not open, so no break can be sent.");
    if (durationMs < 0 || durationMs > maxBreakMs)
        return failed("a break lasts from 1 to " + std::to_string(maxBreakMs) + " ms (0: " +
                      std::to_string(defaultBreakMs) + " ms), not " + std::to_string(durationMs) + " ms.");
    return holdBreak(durationMs == 0 ? defaultBreakMs : durationMs);
}

Result<> Port::changeModemLine(ModemLine line, bool)
{
    return failed(std::string("this kind of port cannot set ") + lineName(line) + ".");
}

Result<> Port::holdBreak(int)
{
    return failed("this kind of port cannot send a break.");
}

const char* Port::lineName(ModemLine line)
{
    return line == ModemLine::Dtr ? "DTR" : "RTS";
}

} // namespace vantor::serial
