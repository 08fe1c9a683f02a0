#include "cli/PortsCommand.h"

#include "cli/ExitStatus.h"
#include "cli/Usage.h"
#include "console/PortName.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <cstdio>

namespace vantor::cli {

int PortsCommand::run(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Lists the serial ports the system reports, what it knows of each,\n"
                                     "the COM names this program accepts, and SIM.");
    Usage::addStandardOptions(parser);
    if (const auto early = Usage::parse(parser, arguments))
        return *early;
    if (!parser.positionalArguments().isEmpty())
        return Usage::fail(parser, "ports takes no arguments");

    const auto ports = QSerialPortInfo::availablePorts();
    if (ports.isEmpty())
        std::printf(
            "No serial ports found. Plug in the adapter; it appears as /dev/ttyUSB0 or /dev/ttyACM0.\n");
    for (const QSerialPortInfo& port : ports) {
        std::printf("%s\n", port.systemLocation().toLocal8Bit().constData());
        const auto field = [](const char* name, const QString& value) {
            if (!value.isEmpty())
                std::printf("  %-14s %s\n", name, value.toLocal8Bit().constData());
        };
        field("description", port.description());
        field("manufacturer", port.manufacturer());
        if (port.hasVendorIdentifier() && port.hasProductIdentifier())
            field("USB id", QString("%1:%2")
                                .arg(port.vendorIdentifier(), 4, 16, QChar('0'))
                                .arg(port.productIdentifier(), 4, 16, QChar('0')));
        field("serial number", port.serialNumber());
    }
    std::printf("\nCOM names:\n");
    for (int n = 1; n <= 8; ++n) {
        const std::string name = "COM" + std::to_string(n);
        const std::string device = console::PortName::devicePath(name);
        std::printf("  %-5s %s%s\n", name.c_str(), device.c_str(),
                    QFileInfo::exists(QString::fromStdString(device)) ? "" : " (not present)");
    }
    std::printf("\nSIM    the built-in simulated PLC\n");
    return Success;
}

} // namespace vantor::cli
