#include "cli/terminal/HistoryFile.h"

namespace vantor::cli {

// The Windows console keeps the lines of the session itself (Up, Down, F7) and offers no way to hand
// it older ones, so nothing is kept between sessions there.
std::string HistoryFile::pathFor(const std::string&)
{
    return {};
}

HistoryFile::~HistoryFile() = default;

serial::Result<> HistoryFile::open(const std::string&, std::vector<std::string>*)
{
    return serial::failed("the Windows console keeps the history of a session only");
}

serial::Result<> HistoryFile::append(const std::string&)
{
    return {};
}

} // namespace vantor::cli
