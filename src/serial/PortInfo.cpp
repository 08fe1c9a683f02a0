#include "serial/PortInfo.h"

#include <cstdio>

namespace vantor::serial {

std::string PortInfo::usbId() const
{
    if (vendorId < 0 || productId < 0)
        return {};
    char text[16];
    std::snprintf(text, sizeof text, "%04x:%04x", vendorId & 0xFFFF, productId & 0xFFFF);
    return text;
}

} // namespace vantor::serial
