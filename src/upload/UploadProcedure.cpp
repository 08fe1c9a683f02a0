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

UploadOutcome UploadProcedure::run(const UploadInput& input)
{
    linesSent_ = 0;

    // Count the records first, for progress; this read also proves the file readable to its end.
    int total = 0;
    {
        CompiledCodeReader counter;
        const FileProblem problem = counter.open(input.filePath);
        if (problem != FileProblem::None)
            return stop(UploadOutcome::FileNotReadable,
                        CompiledCodeReader::describe(problem, input.filePath) + ". Uploading aborted", true);
        std::string line;
        if (!counter.readLine(line)) {
            if (counter.problem() != FileProblem::None)
                return stop(UploadOutcome::FileNotReadable,
                            CompiledCodeReader::describe(counter.problem(), input.filePath) +
                                ". Uploading aborted",
                            true);
            return stop(UploadOutcome::FileRejected, "The file is empty. Uploading aborted", true);
        }
        if (!CompiledCodeFormat::isHeader(line))
            return stop(UploadOutcome::FileRejected, invalidFileCaption, true);
        while (counter.readLine(line))
            total += CompiledCodeFormat::codeFor(line) ? 1 : 0;
        if (counter.problem() != FileProblem::None)
            return stop(UploadOutcome::FileNotReadable,
                        CompiledCodeReader::describe(counter.problem(), input.filePath) +
                            ". Uploading aborted",
                        true);
    }
    if (!hostlink::PlcId::fromText(input.plcIdText ? input.plcIdText() : "01").ok)
        return badPlcId(input);

    CompiledCodeReader reader;
    if (const FileProblem problem = reader.open(input.filePath); problem != FileProblem::None)
        return stop(UploadOutcome::FileNotReadable,
                    CompiledCodeReader::describe(problem, input.filePath) + ". Uploading aborted", true);
    std::string line;
    reader.readLine(line); // the header, checked above

    switch (exchange("C2", input)) {
    case Step::Echoed:
        break;
    case Step::NotEchoed:
        return stop(UploadOutcome::NoLinkResponse, noResponseCaption, false);
    case Step::PortFailed:
        return portFailed();
    case Step::BadPlcId:
        return badPlcId(input);
    }

    int lineNumber = 1;
    while (reader.readLine(line)) {
        const auto command = CompiledCodeFormat::commandFor(line);
        if (!command)
            continue;
        const Step step = exchange(*command, input);
        if (step == Step::PortFailed)
            return portFailed();
        if (step == Step::BadPlcId)
            return badPlcId(input);
        reporter_.recordSent(lineNumber, total, lineCaption(lineNumber));
        reporter_.repaint();
        ++lineNumber;
        if (step == Step::NotEchoed)
            return stop(UploadOutcome::Aborted, recordFailedCaption, false);
        linesSent_ = lineNumber - 1;
    }
    if (reader.problem() != FileProblem::None)
        return stop(UploadOutcome::FileNotReadable,
                    CompiledCodeReader::describe(reader.problem(), input.filePath) + ". Upload aborted.",
                    true);
    reader.close();

    reporter_.showCaption(savingCaption);
    reporter_.repaint();
    if (const Step step = exchange("CS", input); step == Step::PortFailed)
        return portFailed();
    else if (step == Step::BadPlcId)
        return badPlcId(input);

    bool confirmed = false;
    for (int poll = 0; poll < maxSavePolls && !confirmed; ++poll) {
        const Step step = exchange("IR", input);
        if (step == Step::PortFailed)
            return portFailed();
        if (step == Step::BadPlcId)
            return badPlcId(input);
        confirmed = step == Step::Echoed;
    }

    const int sent = lineNumber - 1;
    reporter_.showCaption(confirmed ? uploadedCaption(sent)
                                    : uploadedCaption(sent) + saveNotConfirmedWarning);

    const bool reset = input.resetChosen && input.resetChosen();
    for (const char* command : {"CL", "C1", "CL"}) {
        const bool isReset = std::string(command) == "CL";
        if (isReset && !reset)
            continue;
        const Step step = exchange(command, input);
        if (step == Step::PortFailed)
            return portFailed();
        if (step == Step::BadPlcId)
            return badPlcId(input);
    }
    return confirmed ? UploadOutcome::Completed : UploadOutcome::SaveNotConfirmed;
}

} // namespace vantor::upload
