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
    };
    PortCatalog catalog;
    catalog.add("SIM", "", [] { return nullptr; });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
#ifdef _WIN32
        EXPECT_EQ(catalog.resolve(c.name).device, c.windows);
#else
        EXPECT_EQ(catalog.resolve(c.name).device, c.device);
#endif
        EXPECT_EQ(catalog.resolve(c.name).displayName, c.shown);
    }
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
