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
    // As the upload itself would have said it: the detail, then the caption.
    void fileRefused(const upload::FileCheck& check) override;

private:
    bool showProgress_;
    bool stderrIsTerminal_;
};

} // namespace vantor::cli
