#pragma once

#include <string>
#include <vector>

namespace vantor::serial {

// What the system tells of one serial port. Empty strings and -1 mean "not known".
struct PortInfo
{
    std::string device;       // what to open: "/dev/ttyUSB0", "COM3"
    std::string driver;       // the kernel driver: "ftdi_sio", "cdc_acm", "serial8250"
    std::string description;  // a name for people: the USB product string, or Windows' friendly name
    std::string manufacturer; // the USB manufacturer string
    std::string serialNumber; // the USB serial number
    int vendorId = -1;        // the USB vendor and product IDs, 0 to 0xFFFF
    int productId = -1;
    std::vector<std::string> aliases; // stable names for the same device: /dev/serial/by-id/...

    // "0403:6001", or empty when not a USB device.
    std::string usbId() const;
};

} // namespace vantor::serial
