#include "upload/UploadProcedure.h"

#include "hostlink/Frame.h"
#include "hostlink/PlcId.h"
#include "upload/CompiledCodeFormat.h"
#include "upload/CompiledCodeReader.h"

namespace vantor::upload {

using hostlink::ExchangeStatus;

std::string UploadProcedure::lineCaption(int lineNumber)
{
    return "Uploading Line #:  " + std::to_string(lineNumber);
}

std::string UploadProcedure::uploadedCaption(int lines)
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
    const auto id = hostlink::PlcId::fromText(input.plcIdText ? input.plcIdText() : "01");
    if (!id.ok)
        return Step::BadPlcId;
    const std::string frame = hostlink::Frame::build(id.id, command);
    const auto result = link_.exchange.sendCommand(frame);
    lastStatus_ = result.status;
    if (result.portFailed())
        return Step::PortFailed;
    return isEcho(result.response, frame) ? Step::Echoed : Step::NotEchoed;
}

UploadOutcome UploadProcedure::unreadable(FileProblem problem, const std::string& path, bool started)
{
    // Before anything is sent the panel's captions say "Uploading aborted", afterwards "Upload aborted.".
    return stop(UploadOutcome::FileNotReadable,
                CompiledCodeReader::describe(problem, path) +
                    (started ? ". Upload aborted." : ". Uploading aborted"),
                true);
}

std::optional<UploadOutcome> UploadProcedure::linkFailure(Step step, const UploadInput& input)
{
    if (step == Step::PortFailed)
        return portFailed();
    if (step == Step::BadPlcId)
        return badPlcId(input);
    return std::nullopt;
}

UploadOutcome UploadProcedure::run(const UploadInput& input)
{
    linesSent_ = 0;

    // Count the records first, for progress; this read also proves the file readable to its end.
    int total = 0;
    {
        CompiledCodeReader counter;
        if (const FileProblem problem = counter.open(input.filePath); problem != FileProblem::None)
            return unreadable(problem, input.filePath, false);
        std::string line;
        if (!counter.readLine(line)) {
            if (counter.problem() != FileProblem::None)
                return unreadable(counter.problem(), input.filePath, false);
            return stop(UploadOutcome::FileRejected, "The file is empty. Uploading aborted", true);
        }
        if (!CompiledCodeFormat::isHeader(line))
            return stop(UploadOutcome::FileRejected, invalidFileCaption, true);
        while (counter.readLine(line))
            total += CompiledCodeFormat::codeFor(line) ? 1 : 0;
        if (counter.problem() != FileProblem::None)
            return unreadable(counter.problem(), input.filePath, false);
    }
    if (!hostlink::PlcId::fromText(input.plcIdText ? input.plcIdText() : "01").ok)
        return badPlcId(input);

    CompiledCodeReader reader;
    if (const FileProblem problem = reader.open(input.filePath); problem != FileProblem::None)
        return unreadable(problem, input.filePath, false);
    std::string line;
    reader.readLine(line); // the header, checked above

    const Step linkTest = exchange("C2", input);
    if (const auto failed = linkFailure(linkTest, input))
        return *failed;
    if (linkTest == Step::NotEchoed)
        return stop(UploadOutcome::NoLinkResponse, noResponseCaption, false);

    int lineNumber = 1;
    while (reader.readLine(line)) {
        const auto command = CompiledCodeFormat::commandFor(line);
        if (!command)
            continue;
        const Step step = exchange(*command, input);
        if (const auto failed = linkFailure(step, input))
            return *failed;
        reporter_.recordSent(lineNumber, total, lineCaption(lineNumber));
        reporter_.repaint();
        ++lineNumber;
        if (step == Step::NotEchoed)
            return stop(UploadOutcome::Aborted, recordFailedCaption, false);
        linesSent_ = lineNumber - 1;
    }
    if (reader.problem() != FileProblem::None)
        return unreadable(reader.problem(), input.filePath, true);
    reader.close();

    reporter_.showCaption(savingCaption);
    reporter_.repaint();
    if (const auto failed = linkFailure(exchange("CS", input), input))
        return *failed;

    bool confirmed = false;
    for (int poll = 0; poll < maxSavePolls && !confirmed; ++poll) {
        const Step step = exchange("IR", input);
        if (const auto failed = linkFailure(step, input))
            return *failed;
        confirmed = step == Step::Echoed;
    }

    const int sent = lineNumber - 1;
    reporter_.showCaption(confirmed ? uploadedCaption(sent)
                                    : uploadedCaption(sent) + saveNotConfirmedWarning);

    const bool reset = input.resetChosen && input.resetChosen();
    for (const std::string command : {"CL", "C1", "CL"}) {
        if (command == "CL" && !reset)
            continue;
        if (const auto failed = linkFailure(exchange(command, input), input))
            return *failed;
    }
    return confirmed ? UploadOutcome::Completed : UploadOutcome::SaveNotConfirmed;
}

} // namespace vantor::upload
