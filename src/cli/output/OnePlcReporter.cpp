#include "cli/output/OnePlcReporter.h"

#include "cli/output/CaptionReporter.h"
#include "cli/output/Usage.h"

#include <cstdio>

namespace vantor::cli {

std::unique_ptr<run::PlcListener> OnePlcReporter::plc(const std::string&, const std::string&)
{
    return std::make_unique<CaptionReporter>(showProgress_, stderrIsTerminal_);
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
    if (check.detail.empty())
        Usage::note(check.caption);
}

} // namespace vantor::cli
