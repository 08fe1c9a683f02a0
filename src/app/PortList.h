#pragma once

#include <QStringList>

namespace vantor::app {

// The extra ports both port lists offer after their fixed COM items: the serial devices the system
// reports (those that a COM item already names left out), then SIM, the simulated PLC.
class PortList
{
public:
    // comItems: how many "COMn" items the list starts with (their devices are left out).
    static QStringList extraPorts(int comItems);

    // Whether a name typed into a port box names a port: COMn, SIM, a serial server's address
    // (socket://HOST:PORT, rfc2217://HOST:PORT), or a device that exists. On Windows the COM names
    // are the devices.
    static bool isPortName(const QString& name);
};

} // namespace vantor::app
