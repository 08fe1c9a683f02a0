#pragma once

#include "serial/PortCatalog.h"

#include <QString>

class QComboBox;

namespace vantor::app {

// The ports both port lists offer after their fixed COM items: the serial devices the system reports
// (those that a COM item already names left out), then the catalog's registered ports (SIM, the
// simulated PLC). Each item's text is the port's name, what the port is opened by; what the system
// calls the port (Windows' friendly name, "USB Serial Port (COM3)", or a USB adapter's product) is the
// item's tool tip and is shown beside the name in the opened list.
class PortList
{
public:
    // Lists the ports there are now (catalog.listPorts(), without opening any) into the list, whose
    // first comItems items are "COM1".."COMn": a port new since the last time is added before the
    // registered ones; one listed before and gone now stays, marked absent (absentRole), so that a
    // choice is never changed behind the user's back. Items typed in or added otherwise are kept.
    static void refresh(QComboBox* list, int comItems, const serial::PortCatalog& catalog);

    // Whether a name typed into a port box names a port: one the catalog knows (COMn, SIM, a serial
    // server's address), or a device that exists. On Windows the COM names are the devices.
    static bool isPortName(const QString& name, const serial::PortCatalog& catalog);

    // Item data: true on an item the system listed once and no longer does.
    static constexpr int absentRole = Qt::UserRole + 1;
    // Item data: true on an item the system listed (not a fixed COM item nor one typed in).
    static constexpr int listedRole = Qt::UserRole + 2;
};

} // namespace vantor::app
