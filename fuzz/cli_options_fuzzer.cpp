// The command line's option parsing (0x00 separates arguments): any argument list is either taken,
// with every port setting in its range, or refused with a message; nothing is opened or sent.
#include "FuzzInput.h"
#include "cli/CommandLine.h"
#include "cli/PortOptions.h"

#include <algorithm>

using namespace vantor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> arguments{"vantor upload"};
    for (const auto& a : fuzz::pieces(data, size, '\0'))
        arguments.push_back(a);
    cli::CommandLine parser("");
    cli::PortOptions::addTo(parser);
    parser.addOptions({{{"id"}, "", "TEXT", "01"}, {{"reset"}, ""}});
    if (!parser.parse(arguments)) {
        FUZZ_CHECK(!parser.errorText().empty());
        return 0;
    }
    std::string error;
    cli::PortOptions port;
    if (!port.read(parser, &error)) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    FUZZ_CHECK(!port.portName.empty() && port.settings.baudRate > 0);
    FUZZ_CHECK(port.settings.dataBits == 7 || port.settings.dataBits == 8);
    FUZZ_CHECK(port.settings.stopBits == 1 || port.settings.stopBits == 2);
    // Every argument after "--" comes back as it was given.
    std::size_t i = 1;
    while (i < arguments.size() && arguments[i] != "--")
        ++i;
    if (i < arguments.size()) {
        const std::vector<std::string> after(arguments.begin() + static_cast<long>(i) + 1, arguments.end());
        const auto& got = parser.positionals();
        FUZZ_CHECK(got.size() >= after.size() &&
                   std::equal(after.begin(), after.end(), got.end() - static_cast<long>(after.size())));
    }
    return 0;
}
