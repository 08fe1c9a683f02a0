#include "upload/UploadProcedure.h"

#include "hostlink/ControlText.h"
#include "hostlink/Frame.h"
#include "hostlink/PlcId.h"
#include "hostlink/TimeoutText.h"
#include "upload/CompiledCodeFormat.h"
#include "upload/CompiledCodeReader.h"

namespace vantor::upload {

using hostlink::ExchangeStatus;

namespace {

// Lends the caller's stop check to the shared exchange for the length of one upload.
class StopCheckScope
{
public:
    StopCheckScope(hostlink::CommandExchange& exchange, std::function<bool()> check) : exchange_(exchange)
    {
        exchange_.setStopCheck(std::move(check));
    }
    ~StopCheckScope() { exchange_.setStopCheck({}); }
    StopCheckScope(const StopCheckScope&) = delete;
    StopCheckScope& operator=(const StopCheckScope&) = delete;

private:
    hostlink::CommandExchange& exchange_;
};

} // namespace

std::string UploadProcedure::lineCaption(std::int64_t lineNumber)
{
    return "Uploading Line #:  " + std::to_string(lineNumber);
}

std::string UploadProcedure::uploadedCaption(std::int64_t lines)
{
    return " " + std::to_string(lines) + " Lines Uploaded!";
}

UploadProcedure::UploadProcedure(UploadLink link, UploadReporter& reporter)
    : link_(std::move(link)), reporter_(reporter)
{}

bool UploadProcedure::isEcho(const std::string& response, const std::string& frame)
{
    return response.size() >= 5 && frame.size() >= 5 && response.compare(0, 5, frame, 0, 5) == 0;
}

UploadOutcome UploadProcedure::stop(UploadOutcome outcome, const std::string& caption, bool repaint)
{
    reporter_.showCaption(caption);
    if (repaint)
        reporter_.repaint();
    return outcome;
}

UploadOutcome UploadProcedure::portFailed()
{
    std::string problem = link_.portProblem ? link_.portProblem() : std::string();
    if (lastStatus_ == ExchangeStatus::PortNotOpen) {
        if (problem.empty())
            problem = "The serial port could not be opened.";
        return stop(UploadOutcome::PortNotOpenable, problem + " Upload aborted.", true);
    }
    if (problem.empty())
        problem = "The serial port was lost.";
    return stop(UploadOutcome::PortLost, problem + " Upload aborted.", true);
}

UploadOutcome UploadProcedure::badPlcId(const UploadInput& input)
{
    const auto id = hostlink::PlcId::fromText(input.plcIdText ? input.plcIdText() : "01");
    return stop(UploadOutcome::PlcIdRejected, id.error + " Uploading aborted", true);
}

UploadProcedure::Step UploadProcedure::exchange(const std::string& command, const UploadInput& input)
{
    if (input.stopRequested && input.stopRequested())
        return Step::Interrupted;
    const auto id = hostlink::PlcId::fromText(input.plcIdText ? input.plcIdText() : "01");
    if (!id.ok)
        return Step::BadPlcId;
    const std::string frame = hostlink::Frame::build(id.id, command);
    const auto result = link_.exchange.sendCommand(frame);
    lastStatus_ = result.status;
    lastFrame_ = frame;
    lastIdHex_ = hostlink::Frame::renderHex(id.id);
    lastCode_ = command.substr(0, 2);
    lastResponse_ = result.response;
    if (result.status == ExchangeStatus::Interrupted)
        return Step::Interrupted;
    if (result.portFailed())
        return Step::PortFailed;
    return isEcho(result.response, frame) ? Step::Echoed : Step::NotEchoed;
}

UploadOutcome UploadProcedure::unreadable(const CompiledCodeReader& reader, const std::string& path,
                                          bool started)
{
    if (reader.problem() == FileProblem::Interrupted)
        return interrupted("before anything was sent.");
    // An overlong line is the file's content, not its access.
    const UploadOutcome outcome = reader.problem() == FileProblem::LineTooLong
                                      ? UploadOutcome::FileRejected
                                      : UploadOutcome::FileNotReadable;
    // Before anything is sent the panel's captions say "Uploading aborted", afterwards "Upload aborted.".
    return stop(outcome,
                reader.describeProblem(path) + (started ? ". Upload aborted." : ". Uploading aborted"), true);
}

UploadOutcome UploadProcedure::changed(const std::string& path)
{
    return stop(UploadOutcome::FileChanged,
                path + " changed during the upload: " + std::to_string(linesSent_) +
                    " records were sent but not saved, and the PLC's saved program is unchanged. Upload "
                    "aborted; upload the file again.",
                true);
}

UploadOutcome UploadProcedure::interrupted(const std::string& when)
{
    return stop(UploadOutcome::Interrupted, "Upload interrupted " + when, true);
}

std::string UploadProcedure::afterRecords() const
{
    const std::string where = linesSent_ == 0
                                  ? "before the first record"
                                  : "after record " + std::to_string(linesSent_) + " (file line " +
                                        std::to_string(lastRecordFileLine_) + ")";
    return where + ": the PLC holds a partial program that was not saved to EEPROM; its saved program is "
                   "unchanged.";
}

std::string UploadProcedure::replyProblem(const std::string& frame) const
{
    if (lastResponse_.empty())
        return "nothing answered " + hostlink::ControlText::escape(frame) + " within " +
               std::to_string(hostlink::TimeoutText::effectiveMs(
                   link_.exchange.timeoutText(), hostlink::CommandExchange::responseFallbackMs)) +
               " ms";
    // "@", another ID, the same code: a PLC with another ID answered; on a shared line that is no echo.
    // The code's letters may be hex digits too ("C2"), so try each length an ID can have.
    for (const std::size_t digits : {std::size_t{2}, std::size_t{3}, std::size_t{4}}) {
        if (lastResponse_.size() < 1 + digits + 2 || lastResponse_[0] != '@' ||
            lastResponse_.find_first_not_of("0123456789ABCDEF", 1) < 1 + digits ||
            lastResponse_.compare(1 + digits, 2, lastCode_) != 0)
            continue;
        const std::string otherId = lastResponse_.substr(1, digits);
        if (otherId != lastIdHex_)
            return "a PLC answered as ID " + otherId + " (" + hostlink::ControlText::escape(lastResponse_) +
                   "), not as " + lastIdHex_ + ": check the PLC ID";
    }
    return "the reply to " + hostlink::ControlText::escape(frame) + " was not its echo: \"" +
           hostlink::ControlText::escape(lastResponse_) + "\"";
}

std::optional<UploadOutcome> UploadProcedure::linkFailure(Step step, const UploadInput& input,
                                                          const std::string& when)
{
    if (step == Step::PortFailed)
        return portFailed();
    if (step == Step::BadPlcId)
        return badPlcId(input);
    if (step == Step::Interrupted)
        return interrupted(when);
    return std::nullopt;
}

UploadOutcome UploadProcedure::run(const UploadInput& input)
{
    linesSent_ = 0;
    lastRecordFileLine_ = 0;
    const std::string& path = input.filePath;
    const auto stopRequested = [&input] { return input.stopRequested && input.stopRequested(); };

    // First pass: the whole file is read and checked before anything is sent.
    CompiledCodeReader reader;
    reader.setStopCheck(stopRequested);
    if (reader.open(path) != FileProblem::None)
        return unreadable(reader, path, false);
    std::string line;
    if (!reader.readLine(line)) {
        if (reader.problem() != FileProblem::None)
            return unreadable(reader, path, false);
        return stop(UploadOutcome::FileRejected, "The file is empty. Uploading aborted", true);
    }
    if (!CompiledCodeFormat::isHeader(line)) {
        reporter_.detail("the header line is not accepted: " + CompiledCodeFormat::headerProblem(line));
        return stop(UploadOutcome::FileRejected, invalidFileCaption, true);
    }
    std::int64_t total = 0;
    while (reader.readLine(line)) {
        total += CompiledCodeFormat::codeFor(line) ? 1 : 0;
        if (stopRequested())
            return interrupted("before anything was sent.");
    }
    if (reader.problem() != FileProblem::None)
        return unreadable(reader, path, false);
    const std::uint64_t checkedBytes = reader.bytesRead();
    const std::uint64_t checkedFingerprint = reader.fingerprint();

    if (!hostlink::PlcId::fromText(input.plcIdText ? input.plcIdText() : "01").ok)
        return badPlcId(input);
    if (stopRequested())
        return interrupted("before anything was sent.");

    // Second pass: the same bytes again, compared as they go.
    if (!reader.rewind())
        return unreadable(reader, path, false);
    if (!reader.readLine(line) || !CompiledCodeFormat::isHeader(line))
        return changed(path);

    StopCheckScope stopScope(link_.exchange, stopRequested);
    const Step linkTest = exchange("C2", input);
    if (const auto failed = linkFailure(linkTest, input, "during the link test; no record was sent."))
        return *failed;
    if (linkTest == Step::NotEchoed) {
        reporter_.detail("link test: " + replyProblem(lastFrame_) + "; nothing else was sent");
        return stop(UploadOutcome::NoLinkResponse, noResponseCaption, false);
    }

    std::int64_t lineNumber = 1;
    while (reader.readLine(line)) {
        const auto command = CompiledCodeFormat::commandFor(line);
        if (!command)
            continue;
        if (lineNumber > total)
            return changed(path);
        const Step step = exchange(*command, input);
        if (const auto failed = linkFailure(step, input, afterRecords()))
            return *failed;
        lastRecordFileLine_ = reader.lineNumber();
        reporter_.recordSent(lineNumber, total, lineCaption(lineNumber));
        reporter_.repaint();
        ++lineNumber;
        if (step == Step::NotEchoed) {
            reporter_.detail(
                "record " + std::to_string(lineNumber - 1) + " of " + std::to_string(total) + " (file line " +
                std::to_string(lastRecordFileLine_) + "): " + replyProblem(lastFrame_) +
                ". Nothing was sent after it: the PLC holds a partial program that was not saved to "
                "EEPROM; its saved program is unchanged");
            return stop(UploadOutcome::Aborted, recordFailedCaption, false);
        }
        linesSent_ = lineNumber - 1;
    }
    if (reader.problem() == FileProblem::NotReadable)
        return unreadable(reader, path, true);
    if (reader.problem() != FileProblem::None || lineNumber - 1 != total ||
        reader.bytesRead() != checkedBytes || reader.fingerprint() != checkedFingerprint)
        return changed(path);
    reader.close();
    if (stopRequested())
        return interrupted(afterRecords());

    reporter_.showCaption(savingCaption);
    reporter_.repaint();
    const std::string duringSave = "during the EEPROM save: whether the PLC saved the " +
                                   std::to_string(linesSent_) + " records is not confirmed.";
    if (const auto failed = linkFailure(exchange("CS", input), input, duringSave))
        return *failed;

    bool confirmed = false;
    for (int poll = 0; poll < maxSavePolls && !confirmed; ++poll) {
        const Step step = exchange("IR", input);
        if (const auto failed = linkFailure(step, input, duringSave))
            return *failed;
        confirmed = step == Step::Echoed;
    }

    const std::int64_t sent = lineNumber - 1;
    if (!confirmed)
        reporter_.detail("none of the " + std::to_string(maxSavePolls) +
                         " IR polls after the save was echoed (" + replyProblem(lastFrame_) +
                         "); check that the PLC kept the program before relying on it");
    reporter_.showCaption(confirmed ? uploadedCaption(sent)
                                    : uploadedCaption(sent) + saveNotConfirmedWarning);

    const bool reset = input.resetChosen && input.resetChosen();
    const std::string afterSave = "after the EEPROM save of " + std::to_string(sent) +
                                  " records; the closing commands were not all sent.";
    for (const std::string command : {"CL", "C1", "CL"}) {
        if (command == "CL" && !reset)
            continue;
        if (const auto failed = linkFailure(exchange(command, input), input, afterSave))
            return *failed;
    }
    return confirmed ? UploadOutcome::Completed : UploadOutcome::SaveNotConfirmed;
}

} // namespace vantor::upload
