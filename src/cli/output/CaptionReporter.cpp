#include "cli/output/CaptionReporter.h"

#include "cli/output/Usage.h"

#include <cstdio>

namespace vantor::cli {

CaptionReporter::CaptionReporter(bool showProgress, bool stderrIsTerminal)
    : stderrIsTerminal_(stderrIsTerminal)
{
    if (showProgress)
        bar_ = std::make_unique<ProgressBar>(stderr);
}

void CaptionReporter::showCaption(const std::string& caption)
{
    if (bar_)
        bar_->finish();
    Usage::say(caption);
    lastCaption_ = caption;
}

void CaptionReporter::recordSent(std::int64_t lineNumber, std::int64_t total, const std::string&)
{
    if (bar_)
        bar_->update(lineNumber, total);
}

void CaptionReporter::detail(const std::string& sentence)
{
    if (bar_)
        bar_->finish();
    Usage::note(sentence);
}

void CaptionReporter::shownAlready(const std::string& caption, bool explained)
{
    lastCaption_ = caption;
    shownAlready_ = true;
    explained_ = explained;
}

void CaptionReporter::ended(const PlcResult& result, bool explained)
{
    // A dry run's caption says all there is: the link test answered, nothing else sent.
    if (result.ending == upload::UploadOutcome::LinkAnswered)
        return;
    if (!stderrIsTerminal_ && result.usedTheLine()) {
        // Logs and scripts get no bar; one closing line tells the count and the time.
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.2f", result.seconds);
        Usage::note(std::to_string(result.records) + " records sent and echoed in " + seconds + " s");
    }
    // A refused file's reporter knows from its caption whether a detail said why; the run says it
    // was explained either way, having told the listener of the file.
    const bool said = shownAlready_ ? explained_ : explained;
    if (!result.saved() && !said && !lastCaption_.empty())
        Usage::note(lastCaption_);
}

std::string CaptionReporter::remedy(Remedy which, int value) const
{
    return Usage::remedy(which, value);
}

} // namespace vantor::cli
