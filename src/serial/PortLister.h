#pragma once

#include "serial/PortInfo.h"

#include <string>
#include <vector>

namespace vantor::serial {

// The serial ports the system reports, sorted by device name.
//
// Linux: every tty in sysfs (<sysRoot>/class/tty) that belongs to a device, but UARTs the kernel
// probed and found absent (a "type" of 0), with the driver, the USB identity of the nearest USB device
// above it, and the links in <devRoot>/serial/by-id that point to it. Windows: the ports in
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, with friendly names, USB IDs and serial numbers (from the
// device instance ID: USB-bus and FTDI adapters) where SetupAPI has them (the
// roots are not used there). Reads only; opens no port, so no modem line moves.
class PortLister
{
public:
    explicit PortLister(std::string sysRoot = "/sys", std::string devRoot = "/dev")
        : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot))
    {}

    std::vector<PortInfo> ports() const;

    // Whether a device of that name is there, found without opening it: a file on POSIX, a DOS
    // device name ("COM5") on Windows.
    static bool exists(const std::string& device);

private:
    std::string sysRoot_;
    std::string devRoot_;
};

} // namespace vantor::serial
