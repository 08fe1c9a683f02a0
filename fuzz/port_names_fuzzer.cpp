// Port names and settings from arbitrary text and list positions: every name maps to a device and a
// display name without failing, and every settings text is well formed.
#include "FuzzInput.h"
#include "console/PortName.h"
#include "serial/PortSettings.h"

using namespace vantor::console;
using vantor::serial::PortSettings;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string name = vantor::fuzz::text(data, size);
    const std::string device = PortName::devicePath(name);
    const std::string shown = PortName::displayName(name);
    FUZZ_CHECK(PortName::isSimulated(name) == device.empty() || name.empty());
    if (const auto n = PortName::comNumber(name))
        FUZZ_CHECK(*n >= 1 && shown == "COM " + std::to_string(*n));

    const auto index = [&](std::size_t at) {
        return size > at ? static_cast<int>(static_cast<std::int8_t>(data[at])) : 0;
    };
    const auto settings = PortSettings::fromIndexes(index(0), index(1), index(2), index(3));
    const std::string text = settings.settingsText();
    FUZZ_CHECK(text == std::to_string(settings.baudRate) + "," + settings.parity + "," +
                           std::to_string(settings.dataBits) + "," + std::to_string(settings.stopBits));
    FUZZ_CHECK(settings.parity == 'N' || settings.parity == 'E' || settings.parity == 'O');
    return 0;
}
