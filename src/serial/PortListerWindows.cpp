// PortLister on Windows: the ports every serial driver registers under
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, then what SetupAPI knows of them (friendly name, maker, USB IDs).
#include "serial/PortLister.h"

#include "serial/PortCatalog.h"

#include <windows.h>

#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <cstdlib>

namespace vantor::serial {

namespace {

std::vector<std::string> registeredPorts()
{
    std::vector<std::string> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return ports;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameLength = sizeof name;
        char data[256];
        DWORD dataLength = sizeof data - 1;
        DWORD type = 0;
        const LONG status = RegEnumValueA(key, i, name, &nameLength, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &dataLength);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS || type != REG_SZ)
            continue;
        data[dataLength] = '\0';
        ports.emplace_back(data);
    }
    RegCloseKey(key);
    return ports;
}

std::string deviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property)
{
    char buffer[512] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyA(set, &device, property, &type, reinterpret_cast<BYTE*>(buffer),
                                           sizeof buffer - 1, nullptr))
        return {};
    return buffer; // the first string of a multi-string is the one wanted
}

int hexAfter(const std::string& text, const char* marker)
{
    const std::size_t at = text.find(marker);
    if (at == std::string::npos)
        return -1;
    return static_cast<int>(
        std::strtol(text.substr(at + std::string(marker).size(), 4).c_str(), nullptr, 16));
}

// The USB serial number in the device's instance ID, where it holds one: "USB\VID_2341&PID_0043\SERIAL"
// for an adapter on the USB bus itself (a generated ID, with '&' in it, is no serial number), and
// "FTDIBUS\VID_0403+PID_6001+SERIALA\0000" for FTDI's driver, which appends the channel's letter.
// Other drivers give none, and so does wine, whose listing is the registry's with no USB data.
std::string serialNumberOf(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    char id[512] = {};
    if (!SetupDiGetDeviceInstanceIdA(set, &device, id, sizeof id - 1, nullptr))
        return {};
    const std::string instance = id;
    const std::size_t first = instance.find('\\');
    const std::size_t second = first == std::string::npos ? first : instance.find('\\', first + 1);
    if (instance.compare(0, 4, "USB\\") == 0 && second != std::string::npos) {
        const std::string serial = instance.substr(second + 1);
        return serial.find('&') == std::string::npos ? serial : std::string();
    }
    if (instance.compare(0, 8, "FTDIBUS\\") == 0) {
        const std::size_t plus = instance.find('+', instance.find("PID_"));
        if (plus == std::string::npos || second == std::string::npos || second <= plus + 2)
            return {};
        return instance.substr(plus + 1, second - plus - 2); // without the channel's letter
    }
    return {};
}

// Adds friendly names and USB identities to the ports SetupAPI lists in the Ports class.
void describe(std::vector<PortInfo>& ports)
{
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        char portName[64] = {};
        DWORD length = sizeof portName - 1;
        const bool named = RegQueryValueExA(key, "PortName", nullptr, nullptr,
                                            reinterpret_cast<BYTE*>(portName), &length) == ERROR_SUCCESS;
        RegCloseKey(key);
        if (!named)
            continue;
        for (PortInfo& port : ports) {
            if (port.device != portName)
                continue;
            port.description = deviceProperty(set, device, SPDRP_FRIENDLYNAME);
            port.manufacturer = deviceProperty(set, device, SPDRP_MFG);
            port.driver = deviceProperty(set, device, SPDRP_SERVICE);
            const std::string hardwareId = deviceProperty(set, device, SPDRP_HARDWAREID);
            port.vendorId = hexAfter(hardwareId, "VID_");
            port.productId = hexAfter(hardwareId, "PID_");
            port.serialNumber = serialNumberOf(set, device);
        }
    }
    SetupDiDestroyDeviceInfoList(set);
}

// COM3 before COM10; other names (0) before the COM names.
int comNumber(const std::string& name)
{
    return PortCatalog::comNumber(name).value_or(0);
}

} // namespace

bool PortLister::exists(const std::string& device)
{
    char target[1024];
    return QueryDosDeviceA(device.c_str(), target, sizeof target) != 0;
}

std::vector<PortInfo> PortLister::ports() const
{
    std::vector<PortInfo> ports;
    for (const std::string& name : registeredPorts()) {
        PortInfo info;
        info.device = name;
        ports.push_back(info);
    }
    describe(ports);
    std::sort(ports.begin(), ports.end(), [](const PortInfo& a, const PortInfo& b) {
        return comNumber(a.device) != comNumber(b.device) ? comNumber(a.device) < comNumber(b.device)
                                                          : a.device < b.device;
    });
    return ports;
}

} // namespace vantor::serial
