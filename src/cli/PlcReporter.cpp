#include "cli/PlcReporter.h"

namespace vantor::cli {

void PlcReporter::showCaption(const std::string& caption)
{
    lastCaption_ = caption;
    out_.caption(port_, id_, caption);
}

void PlcReporter::recordSent(std::int64_t lineNumber, std::int64_t total, const std::string&)
{
    out_.progress(port_, id_, lineNumber, total);
}

void PlcReporter::detail(const std::string& sentence)
{
    details_ += (details_.empty() ? "" : "; ") + sentence;
    out_.detail(port_, id_, sentence);
}

std::string PlcReporter::reasonOf(const std::string& lastCaption, const std::string& details)
{
    // Captions start with a blank when they start with a count (" 12 Lines Uploaded!").
    const std::size_t start = lastCaption.find_first_not_of(' ');
    const std::string caption = start == std::string::npos ? std::string() : lastCaption.substr(start);
    if (details.empty())
        return caption;
    return caption.empty() ? details : caption + " (" + details + ")";
}

} // namespace vantor::cli
