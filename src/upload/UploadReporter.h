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

    // What a detail may advise trying next; each front end has its own name for it.
    enum class Remedy {
        Scan,     // looking for which port, baud rate and PLC ID answer
        Attempts, // trying the link test value times
        Timeout,  // waiting value ms for each answer
    };
    // The words for trying remedy with value (unused for Scan), to stand in a sentence as in "try
    // <words>": the command line names its option ("--timeout 1000"), a window its setting. Empty: this
    // front end has no such thing, and the detail leaves that advice out. The default words name
    // neither, plainly ("a scan of the line", "a timeout of 1000 ms"). Called on the upload's thread, like
    // detail().
    virtual std::string remedy(Remedy which, int value) const;
};

} // namespace vantor::upload
