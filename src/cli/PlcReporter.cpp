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

} // namespace vantor::cli
