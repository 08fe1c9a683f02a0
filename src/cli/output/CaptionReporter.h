#pragma once

#include "cli/output/PlcResult.h"
#include "cli/terminal/ProgressBar.h"
#include "run/PlcListener.h"

#include <memory>
#include <string>

namespace vantor::cli {

// One PLC's upload as the panel would show it: captions to standard output; details, and record
// progress as a bar when asked for, to standard error. Used on the upload's thread only.
class CaptionReporter : public run::PlcListener
{
public:
    // showProgress: a bar on standard error (a terminal without the trace). stderrIsTerminal: else the
    // end gets one closing line with the count and the time instead.
    CaptionReporter(bool showProgress, bool stderrIsTerminal);

    void showCaption(const std::string& caption) override;
    void recordSent(std::int64_t lineNumber, std::int64_t total, const std::string& caption) override;
    void detail(const std::string& sentence) override;
    // The command line's options (Usage::remedy).
    std::string remedy(Remedy which, int value) const override;
    // A failure whose cause no detail named yet is named on standard error from its caption, so that
    // the reason is there also when standard output is discarded.
    void ended(const PlcResult& result, bool explained) override;
    // The caption was shown already, before this reporter was made (a refused file); explained: a
    // detail said why.
    void shownAlready(const std::string& caption, bool explained);

private:
    std::unique_ptr<ProgressBar> bar_;
    bool stderrIsTerminal_;
    std::string lastCaption_;
    bool shownAlready_ = false;
    bool explained_ = false;
};

} // namespace vantor::cli
