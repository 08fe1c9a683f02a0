#pragma once

#include <QStringList>

namespace vantor::cli {

// vantor ports: the serial ports the system knows, with what it knows of each, the COM names and SIM.
class PortsCommand
{
public:
    static int run(const QStringList& arguments);
};

} // namespace vantor::cli
