#include "serial/Port.h"

#include "serial/NetworkAddress.h"
#include "serial/Rfc2217Port.h"
#include "serial/SerialPort.h"
#include "serial/SocketPort.h"

namespace vantor::serial {

std::unique_ptr<Port> Port::forName(const std::string& device)
{
    if (!NetworkAddress::hasScheme(device))
        return std::make_unique<SerialPort>();
    const auto address = NetworkAddress::parse(device);
    if (address && address->rfc2217)
        return std::make_unique<Rfc2217Port>();
    return std::make_unique<SocketPort>(); // a malformed name is refused by its opening
}

} // namespace vantor::serial
