#pragma once

#include "upload/CompiledCodeReader.h"
#include "upload/UploadLink.h"
#include "upload/UploadOutcome.h"
#include "upload/UploadReporter.h"

#include <functional>
#include <optional>
#include <string>

namespace vantor::upload {

// What the upload reads from the main panel. The PLC ID text is read again for every frame.
struct UploadInput
{
    std::string filePath;
    std::function<std::string()> plcIdText;
    std::function<bool()> resetChosen;
};

// Transfers one compiled-code file into the PLC:
//   "C2" link test -> one frame per record line -> "CS" -> up to 20 "IR" polls -> ["CL"] "C1" ["CL"]
// A record that is not echoed (first five characters of the frame) stops the upload at once. The
// file is read twice, once to count the records for progress and once to send them, one line in
// memory at a time.
class UploadProcedure
{
public:
    static constexpr int maxSavePolls = 20;

    // Captions, exactly as the status label shows them.
    static constexpr const char* invalidFileCaption = "Invalid file content. Uploading aborted";
    static constexpr const char* noResponseCaption = "No response from PLC";
    static constexpr const char* recordFailedCaption = "Error receiving PLC Response. Upload aborted.";
    static constexpr const char* savingCaption = "Saving Program to EEPROM...";
    static constexpr const char* saveNotConfirmedWarning =
        " (Warning: the PLC did not confirm the EEPROM save)";
    static std::string lineCaption(int lineNumber); // "Uploading Line #:  1"
    static std::string uploadedCaption(int lines);  // " 12 Lines Uploaded!"

    UploadProcedure(UploadLink link, UploadReporter& reporter);

    UploadOutcome run(const UploadInput& input);

    // Record lines echoed by the last run.
    int linesSent() const { return linesSent_; }

    // Whether response echoes frame: its first five characters equal the frame's.
    static bool isEcho(const std::string& response, const std::string& frame);

private:
    enum class Step { Echoed, NotEchoed, PortFailed, BadPlcId };
    Step exchange(const std::string& command, const UploadInput& input);
    UploadOutcome stop(UploadOutcome outcome, const std::string& caption, bool repaint);
    UploadOutcome portFailed();
    UploadOutcome unreadable(FileProblem problem, const std::string& path, bool started);
    // The outcome for a step that failed at the port or on the PLC ID; nothing for the others.
    std::optional<UploadOutcome> linkFailure(Step step, const UploadInput& input);
    UploadOutcome badPlcId(const UploadInput& input);

    UploadLink link_;
    UploadReporter& reporter_;
    int linesSent_ = 0;
    hostlink::ExchangeStatus lastStatus_ = hostlink::ExchangeStatus::NoResponse;
};

} // namespace vantor::upload
