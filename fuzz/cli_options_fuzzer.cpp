// The command line's option parsing (0x00 separates arguments): any argument list is either taken,
// with every port setting in its range and a PLC ID list without repeats, or refused with a message;
// nothing is opened or sent.
#include "FuzzInput.h"
#include "cli/options/CommandLine.h"
#include "cli/options/OptionValues.h"
#include "cli/options/PortOptions.h"

#include <algorithm>
#include <bitset>

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
    cli::PortOptions port;
    if (const auto read = port.read(parser); !read.ok()) {
        FUZZ_CHECK(!read.message.empty());
        return 0;
    }
    FUZZ_CHECK(!port.portName.empty() && port.settings.baudRate > 0);
    FUZZ_CHECK(port.settings.dataBits == 7 || port.settings.dataBits == 8);
    FUZZ_CHECK(port.settings.stopBits == 1 || port.settings.stopBits == 2);
    // An ID list is refused with a message, or gives at least one ID and none twice.
    std::vector<std::int16_t> ids;
    const auto listed = cli::OptionValues::strictIdList(parser.value("id"), &ids);
    if (listed.ok()) {
        FUZZ_CHECK(!ids.empty());
        std::bitset<0x10000> seen;
        for (const std::int16_t id : ids) {
            FUZZ_CHECK(!seen[static_cast<std::uint16_t>(id)]);
            seen.set(static_cast<std::uint16_t>(id));
        }
    } else {
        FUZZ_CHECK(!listed.message.empty());
    }
    // Arguments come back as they were given, none made up, none split or joined.
    const auto& got = parser.positionals();
    FUZZ_CHECK(got.size() < arguments.size());
    for (const auto& a : got)
        FUZZ_CHECK(std::find(arguments.begin() + 1, arguments.end(), a) != arguments.end());
    return 0;
}
