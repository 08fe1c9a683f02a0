#include "serial/Port.h"

namespace vantor::serial {

std::string Port::lostText(const std::string& displayName, const std::string& what, const std::string& advice)
{
    return "Lost the connection to " + displayName + (what.empty() ? "" : ": " + what) + ". " + advice;
}

} // namespace vantor::serial
