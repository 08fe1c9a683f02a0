#include "cli/terminal/TermClock.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace vantor::cli {

namespace {
std::string format(const char* pattern, bool withZone)
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char text[64];
    std::size_t length = std::strftime(text, sizeof text, pattern, &local);
    length += static_cast<std::size_t>(
        std::snprintf(text + length, sizeof text - length, ".%03d", static_cast<int>(ms)));
    if (withZone)
        length += std::strftime(text + length, sizeof text - length, "%z", &local);
    return std::string(text, length);
}
} // namespace

std::string TermClock::timeOfDay()
{
    return format("%H:%M:%S", false);
}

std::string TermClock::dated()
{
    return format("%Y-%m-%dT%H:%M:%S", true);
}

} // namespace vantor::cli
