#pragma once

#include "run/LinesListener.h"

namespace vantor::cli {

// What an upload to one PLC without --json shows: the panel's captions (CaptionReporter), and the
// port's opening and warnings on standard error, so that standard output keeps to the captions.
class OnePlcReporter : public run::LinesListener
{
public:
    explicit OnePlcReporter(bool showProgress, bool stderrIsTerminal)
        : showProgress_(showProgress), stderrIsTerminal_(stderrIsTerminal)
    {}

    std::unique_ptr<run::PlcListener> plc(const std::string& port, const std::string& id) override;
    void log(const std::string& line, bool warning) override;
    // As the upload itself would have said it: the detail, then the caption; the record's reason is
    // the caption with the detail, as for an upload that ran.
    void fileRefused(const upload::FileCheck& check) override;
    std::string refusedReason(const upload::FileCheck& check) const override;

private:
    bool showProgress_;
    bool stderrIsTerminal_;
    std::string refusedCaption_; // the caption a refused file got, for the reporter made after it
    bool refusedExplained_ = false;
};

} // namespace vantor::cli
