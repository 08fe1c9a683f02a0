#include "cli/output/JsonLines.h"

#include <cstdio>
#include <mutex>

namespace vantor::cli {

namespace {
std::mutex writing;
}

JsonLines::Object JsonLines::event(const char* name)
{
    Object object;
    object["schema"] = schemaVersion;
    object["event"] = name;
    return object;
}

void JsonLines::write(const Object& object)
{
    const std::string line = object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    const std::lock_guard<std::mutex> lock(writing);
    if (std::ferror(stdout))
        return;
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

} // namespace vantor::cli
