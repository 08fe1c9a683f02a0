#pragma once

#include <cstdint>
#include <string>

namespace vantor::upload {

// Where the upload shows its state: the main panel's status label, or the command line.
class UploadReporter
{
public:
    virtual ~UploadReporter() = default;
    // Makes the status visible with this caption. Not drawn until repaint() or the upload returns.
    virtual void showCaption(const std::string& caption) = 0;
    // Draws the status now, in the middle of the upload: for a window, which draws only when asked;
    // output that shows each caption as it comes has nothing to do.
    virtual void repaint() {}
    // A record line went out and was echoed or not: caption is "Uploading Line #:  N" for the
    // line number N (from 1) out of total record lines; showCaption is not called for it.
    virtual void recordSent(std::int64_t lineNumber, std::int64_t total, const std::string& caption) = 0;
    // Why something failed, beyond the caption: what was sent, what came back, where in the file.
    // One sentence, for a log or standard error; the panel's caption does not change.
    virtual void detail(const std::string& /*sentence*/) {}
};

} // namespace vantor::upload
