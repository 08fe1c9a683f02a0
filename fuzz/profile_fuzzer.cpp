// The profiles file: any text is either read into options the command line knows, each with a value
// that is one argument, or refused with a message naming the file and a line; it never throws, nor
// overflows the stack however deep its keys, tables and values nest (the corpus has such seeds, of
// 60 KB: scripts/fuzz.sh gives this target a length limit that takes them whole).
#include "FuzzInput.h"
#include "cli/options/Profile.h"

#include <string>

using namespace vantor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::pair<std::string, std::string>> options;
    if (const auto read = cli::Profile::read(text, "vantor.toml", "a", &options); !read.ok()) {
        const std::string& error = read.message;
        FUZZ_CHECK(error.rfind("vantor.toml", 0) == 0 || error.rfind("there is no profile", 0) == 0);
        return 0;
    }
    for (const auto& [option, value] : options) {
        FUZZ_CHECK(!option.empty() && option.find('=') == std::string::npos);
        FUZZ_CHECK(value.find('\0') == std::string::npos || option == "port" || option == "id" ||
                   option == "parity" || option == "record");
    }
    return 0;
}
