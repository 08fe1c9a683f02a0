#include "cli/output/OnePlcReporter.h"

#include "cli/output/CaptionReporter.h"
#include "cli/output/PlcResult.h"
#include "cli/output/Usage.h"

#include <cstdio>

namespace vantor::cli {

std::unique_ptr<run::PlcListener> OnePlcReporter::plc(const std::string&, const std::string&)
{
    auto reporter = std::make_unique<CaptionReporter>(showProgress_, stderrIsTerminal_);
    if (!refusedCaption_.empty())
        reporter->shownAlready(refusedCaption_, refusedExplained_);
    return reporter;
}

void OnePlcReporter::log(const std::string& line, bool warning)
{
    if (warning)
        Usage::note(line);
    else
        Usage::line(stderr, line);
}

void OnePlcReporter::fileRefused(const upload::FileCheck& check)
{
    if (!check.detail.empty())
        Usage::note(check.detail);
    Usage::say(check.caption);
    refusedCaption_ = check.caption;
    refusedExplained_ = !check.detail.empty();
}

std::string OnePlcReporter::refusedReason(const upload::FileCheck& check) const
{
    return PlcResult::reasonOf(check.caption, check.detail);
}

} // namespace vantor::cli
