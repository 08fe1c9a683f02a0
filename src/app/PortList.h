#pragma once

#include "serial/PortCatalog.h"

#include <QString>

class QComboBox;

namespace vantor::app {

// The ports both port lists offer after their fixed COM items: the serial devices the system reports
// (those that a COM item already names left out), then the catalog's registered ports (SIM, the
// simulated PLC). Each item's text is
// the port's name, what the port is opened by; what the system calls the port (Windows' friendly
// name, "USB Serial Port (COM3)", or a USB adapter's product) is the item's tool tip and is shown
// beside the name in the opened list.
class PortList
{
public:
    // Describes the list's first comItems items ("COM1".."COMn") and adds the other ports after them.
    // Lists the system's ports once, without opening any.
    static void addPorts(QComboBox* list, int comItems, const serial::PortCatalog& catalog);

    // Whether a name typed into a port box names a port: one the catalog knows (COMn, SIM, a serial
    // server's address), or a device that exists. On Windows the COM names are the devices.
    static bool isPortName(const QString& name, const serial::PortCatalog& catalog);
};

} // namespace vantor::app
