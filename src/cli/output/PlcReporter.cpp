#include "cli/output/PlcReporter.h"

#include "cli/output/FleetReporter.h"
#include "cli/output/Usage.h"

namespace vantor::cli {

void PlcReporter::showCaption(const std::string& caption)
{
    out_.caption(port_, id_, caption);
}

void PlcReporter::recordSent(std::int64_t lineNumber, std::int64_t total, const std::string&)
{
    out_.progress(port_, id_, lineNumber, total);
}

void PlcReporter::detail(const std::string& sentence)
{
    out_.detail(port_, id_, sentence);
}

void PlcReporter::ended(const PlcResult& result, bool explained)
{
    out_.ended(result, explained);
}

void PlcReporter::recorded(const PlcResult& result)
{
    out_.recorded(result);
}

std::string PlcReporter::remedy(Remedy which, int value) const
{
    return Usage::remedy(which, value);
}

} // namespace vantor::cli
