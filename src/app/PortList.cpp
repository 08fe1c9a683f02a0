#include "app/PortList.h"

#include "console/PortName.h"

#include "serial/NetworkAddress.h"
#include "serial/PortLister.h"

#include <QFileInfo>

namespace vantor::app {

QStringList PortList::extraPorts(int comItems)
{
    QStringList covered;
    for (int n = 1; n <= comItems; ++n)
        covered << QString::fromStdString(console::PortName::devicePath("COM" + std::to_string(n)));
    QStringList ports;
    for (const serial::PortInfo& info : serial::PortLister().ports()) {
        const QString device = QString::fromStdString(info.device);
        if (!covered.contains(device) && !ports.contains(device))
            ports << device;
    }
    ports.sort();
    ports << console::PortName::simulated;
    return ports;
}

bool PortList::isPortName(const QString& name)
{
    const std::string text = name.toStdString();
    if (name.isEmpty())
        return false;
    if (console::PortName::isSimulated(text) || console::PortName::comNumber(text) ||
        serial::NetworkAddress::parse(text))
        return true;
    return QFileInfo(name).isAbsolute() && QFileInfo::exists(name);
}

} // namespace vantor::app
