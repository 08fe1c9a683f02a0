// Port names and settings from arbitrary text and list positions: every name maps to a device and a
// display name without failing, a name is the same port as itself, and every settings text is well
// formed.
#include "FuzzInput.h"
#include "serial/PortCatalog.h"
#include "serial/PortSettings.h"

using vantor::serial::PortCatalog;
using vantor::serial::PortSettings;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string name = vantor::fuzz::text(data, size);
    PortCatalog catalog;
    catalog.add("SIM", "", [] { return nullptr; });
    const PortCatalog::Named named = catalog.resolve(name);
    FUZZ_CHECK((named.kind == PortCatalog::Kind::Registered) == (named.device == "SIM"));
    FUZZ_CHECK(catalog.samePort(name, name));
    if (const auto n = PortCatalog::comNumber(name))
        FUZZ_CHECK(*n >= 1 && named.displayName == "COM " + std::to_string(*n));

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
