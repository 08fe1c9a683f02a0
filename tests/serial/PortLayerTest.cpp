#include "serial/ParityErrorFilter.h"
#include "serial/PortCatalog.h"
#include "serial/PortSettings.h"

#include <gtest/gtest.h>

using vantor::serial::ParityErrorFilter;
using vantor::serial::PortCatalog;
using vantor::serial::PortSettings;

TEST(PortCatalog, MapsNamesToDevices)
{
    struct Case
    {
        const char* name;
        const char* device;  // on POSIX systems
        const char* windows; // on Windows
        const char* shown;
        const char* refusal = ""; // what opening the port says; empty: not opened here
    };
    const Case cases[] = {
        {"COM1", "/dev/ttyS0", "COM1", "COM 1"},
        {"COM8", "/dev/ttyS7", "COM8", "COM 8"},
        {"com3", "/dev/ttyS2", "COM3", "COM 3"},
        {"COM12", "/dev/ttyS11", "COM12", "COM 12"},
        {"/dev/ttyUSB0", "/dev/ttyUSB0", "/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"COM0", "COM0", "COM0", "COM0"},
        {"COMX", "COMX", "COMX", "COMX"},
        {"COM", "COM", "COM", "COM"},
        {"SIM", "SIM", "SIM", "SIM"},
        {"sim", "SIM", "SIM", "SIM"},
        // Adapters by their serial number or IDs, in the listing below, wherever the system put them.
        {"usb:A1B2", "/dev/ttyUSB3", "COM11", "usb:A1B2"},
        {"USB:a1b2", "/dev/ttyUSB3", "COM11", "USB:a1b2"},
        {"usb:0403:6001:A1B2", "/dev/ttyUSB3", "COM11", "usb:0403:6001:A1B2"},
        {"usb:2341:0043", "/dev/ttyACM0", "COM4", "usb:2341:0043"},
        {"usb:NOPE", "usb:NOPE", "usb:NOPE", "usb:NOPE",
         "Cannot open usb:NOPE: no USB adapter with serial number NOPE is plugged in (plugged in: "},
        {"usb:TWIN", "usb:TWIN", "usb:TWIN", "usb:TWIN",
         "more than one USB adapter with serial number TWIN is plugged in: "},
        {"usb:0403:6001", "usb:0403:6001", "usb:0403:6001", "usb:0403:6001",
         "more than one USB adapter 0403:6001"},
        {"usb:", "usb:", "usb:", "usb:", "a usb: name is usb:SERIAL, usb:VID:PID or usb:VID:PID:SERIAL"},
        {"usb:0403:6001:", "usb:0403:6001:", "usb:0403:6001:", "usb:0403:6001:", "a usb: name is"},
    };
    PortCatalog catalog;
    catalog.add("SIM", "", [] { return nullptr; });
    const auto usb = [](const char* device, const char* windows, int vid, int pid, const char* serial) {
        vantor::serial::PortInfo port;
#ifdef _WIN32
        port.device = windows;
        (void)device;
#else
        port.device = device;
        (void)windows;
#endif
        port.vendorId = vid;
        port.productId = pid;
        port.serialNumber = serial;
        return port;
    };
    const std::vector<vantor::serial::PortInfo> listing = {
        usb("/dev/ttyACM0", "COM4", 0x2341, 0x0043, ""),
        usb("/dev/ttyS0", "COM1", -1, -1, ""),
        usb("/dev/ttyUSB0", "COM7", 0x0403, 0x6015, "TWIN"),
        usb("/dev/ttyUSB1", "COM8", 0x0403, 0x6015, "TWIN"),
        usb("/dev/ttyUSB2", "COM9", 0x0403, 0x6001, "C3D4"),
        usb("/dev/ttyUSB3", "COM11", 0x0403, 0x6001, "A1B2"),
    };
    catalog.setLister([&listing] { return listing; });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
#ifdef _WIN32
        EXPECT_EQ(catalog.resolve(c.name).device, c.windows);
#else
        EXPECT_EQ(catalog.resolve(c.name).device, c.device);
#endif
        EXPECT_EQ(catalog.resolve(c.name).displayName, c.shown);
        if (*c.refusal) {
            const auto opened = catalog.portFor(c.name)->open(c.name, c.name, PortSettings());
            EXPECT_NE(opened.message.find(c.refusal), std::string::npos) << opened.message;
        }
    }
    // The usb: name each adapter is shown with: none for twins or a port that is no USB device.
    std::vector<std::string> shown;
    for (const auto& port : listing)
        shown.push_back(PortCatalog::usbNameOf(port, listing));
    EXPECT_EQ(shown, (std::vector<std::string>{"usb:2341:0043", "", "", "", "usb:C3D4", "usb:A1B2"}));
    EXPECT_TRUE(catalog.samePort("usb:a1b2", listing.back().device));
}

TEST(PortSettings, BuildsTheSettingsTextFromTheLists)
{
    EXPECT_EQ(PortSettings().settingsText(), "38400,N,8,1");
    const auto defaults =
        PortSettings::fromIndexes(PortSettings::defaultBaudIndex, PortSettings::defaultDataBitIndex,
                                  PortSettings::defaultParityIndex, PortSettings::defaultStopBitIndex);
    EXPECT_EQ(defaults.settingsText(), "38400,N,8,1");
    EXPECT_EQ(PortSettings::fromIndexes(0, 0, 1, 1).settingsText(), "1200,E,7,2");
    EXPECT_EQ(PortSettings::fromIndexes(7, 1, 2, 0).settingsText(), "115200,O,8,1");
    EXPECT_EQ(PortSettings::fromIndexes(-1, 9, -1, 5).settingsText(), "38400,N,8,1")
        << "no selected item keeps the default";
}

TEST(ParityErrorFilter, ReplacesMarkedCharactersAcrossReads)
{
    struct Case
    {
        const char* name;
        std::vector<std::string> reads;
        std::string out;
    };
    const Case cases[] = {
        {"plain", {"@01C230\r"}, "@01C230\r"},
        {"one bad character", {std::string("@0\xFF\0x1\r", 7)}, "@0?1\r"},
        {"escaped 0xFF",
         {"A\xFF\xFF"
          "B"},
         "A\xFF"
         "B"},
        {"mark split after FF", {"A\xFF", std::string("\0zB", 3)}, "A?B"},
        {"mark split after 00", {std::string("A\xFF\0", 3), "zB"}, "A?B"},
        {"escape split",
         {"A\xFF", "\xFF"
                   "B"},
         "A\xFF"
         "B"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ParityErrorFilter filter;
        std::string out;
        for (const auto& r : c.reads)
            out += filter.filter(r);
        EXPECT_EQ(out, c.out);
    }
}
