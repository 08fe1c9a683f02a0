#include "cli/UploadCommand.h"

#include "cli/ExitStatus.h"
#include "cli/PortOptions.h"
#include "cli/ProgressBar.h"
#include "cli/Terminal.h"
#include "cli/Usage.h"
#include "console/SerialConsole.h"
#include "console/StopSignals.h"
#include "hostlink/Frame.h"
#include "upload/UploadProcedure.h"

#include "hostlink/TimeoutText.h"

#include <chrono>
#include <cstdio>
#include <memory>

namespace vantor::cli {

using console::StopSignals;

namespace {

// Captions to standard output; details, and record progress as a bar when standard error is a
// terminal, to standard error.
class CommandLineReporter : public upload::UploadReporter
{
public:
    explicit CommandLineReporter(bool showProgress)
    {
        if (showProgress)
            bar_ = std::make_unique<ProgressBar>(stderr);
    }
    void detail(const std::string& sentence) override
    {
        if (bar_)
            bar_->finish();
        Usage::note(sentence);
        ++details_;
    }
    void showCaption(const std::string& caption) override
    {
        if (bar_)
            bar_->finish();
        Usage::say(caption);
        lastCaption_ = caption;
    }
    // A failure whose cause no detail named yet is named on standard error from its caption, so
    // that the reason is there also when standard output is discarded.
    void explainFailure()
    {
        if (details_ == 0 && !lastCaption_.empty())
            Usage::note(lastCaption_);
    }
    void repaint() override {}
    void recordSent(std::int64_t lineNumber, std::int64_t total, const std::string&) override
    {
        if (bar_)
            bar_->update(lineNumber, total);
    }

private:
    std::unique_ptr<ProgressBar> bar_;
    int details_ = 0;
    std::string lastCaption_;
};

} // namespace

int UploadCommand::exitStatusFor(upload::UploadOutcome outcome)
{
    using upload::UploadOutcome;
    switch (outcome) {
    case UploadOutcome::Completed:
        return Success;
    case UploadOutcome::SaveNotConfirmed:
        return SaveNotConfirmed;
    case UploadOutcome::FileNotReadable:
        return FileNotReadable;
    case UploadOutcome::FileRejected:
        return FileRejected;
    case UploadOutcome::PlcIdRejected:
        return PlcIdRejected;
    case UploadOutcome::PortNotOpenable:
        return PortNotOpenable;
    case UploadOutcome::NoLinkResponse:
        return NoLinkResponse;
    case UploadOutcome::Aborted:
        return UploadAborted;
    case UploadOutcome::PortLost:
        return PortLost;
    case UploadOutcome::FileChanged:
        return FileChanged;
    case UploadOutcome::Interrupted:
        return StopSignals::requested() ? StopSignals::exitStatus() : InternalError;
    }
    return InternalError;
}

int UploadCommand::run(const std::vector<std::string>& arguments)
{
    CommandLine parser(
        "Uploads FILE, a compiled program (.VQC), into the PLC: link test, one frame per record,\n"
        "save to EEPROM, then C1 (with CL around it when --reset is given). FILE may be a pipe\n"
        "(/dev/stdin). Standard output gets the status captions, the final one last; standard error\n"
        "gets what was tried and why something failed.\n"
        "Exit status: 0 saved, 3 unreadable file, 4 rejected file, 6 port not openable, 7 no answer\n"
        "to the link test, 8 a record not echoed, 9 save not confirmed, 10 port lost, 11 the file\n"
        "changed while sending, 2 bad command line, 128+N stopped by signal N. See vantor(1).");
    Usage::addStandardOptions(parser);
    PortOptions port;
    port.addTo(parser);
    parser.addOptions({
        {{"i", "id"}, "The PLC's ID in hexadecimal, 1 to 4 digits (default 01).", "ID", "01"},
        {{"r", "reset"}, "Reset the PLC after the upload."},
    });
    parser.addPositional("FILE", "The compiled program to upload.");
    if (const auto early = Usage::parse(parser, arguments))
        return *early;
    std::string error;
    if (!port.read(parser, &error))
        return Usage::fail(error);
    if (parser.positionals().size() != 1)
        return Usage::fail("upload takes exactly one FILE");
    std::int16_t id = 1;
    if (!Usage::strictId(parser.value("id"), &id, &error))
        return Usage::fail(error);

    console::SerialConsole console;
    port.applyTo(console);
    // The opening line goes where the console would log it; on the command line that is standard
    // error, so standard output keeps to the panel's captions.
    console.setLogSink([](const std::string& line) { Usage::line(stderr, line); });
    console.setWarningSink([](const std::string& line) { Usage::note(line); });

    // The bar shares standard error with the trace, which would write over it: one or the other.
    const bool terminal = Terminal::isTerminal(stderr);
    CommandLineReporter reporter(terminal && !port.trace);
    // Port failures reach the user through the final caption, which names the port and the cause.
    console.setErrorSink([](const std::string&) {});
    upload::UploadProcedure procedure({console.exchange(), [&console] { return console.lastPortProblem(); }},
                                      reporter);

    const std::string idText = hostlink::Frame::renderHex(id);
    const bool reset = parser.isSet("reset");
    const std::string file = parser.positionals().front();
    Usage::note("uploading " + file + " to PLC ID " + idText + " through " + port.portName + " at " +
                port.settings.settingsText() + ", timeout " +
                std::to_string(hostlink::TimeoutText::effectiveMs(
                    port.timeoutText, hostlink::CommandExchange::responseFallbackMs)) +
                " ms" + (reset ? ", reset after" : ""));
    StopSignals::install();
    const auto started = std::chrono::steady_clock::now();
    const auto outcome = procedure.run({file, [&idText] { return idText; }, [reset] { return reset; },
                                        [] { return StopSignals::requested(); }});
    if (!terminal) {
        // Logs and scripts get no bar; one closing line tells the count and the time.
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.2f",
                      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
        Usage::note(std::to_string(procedure.linesSent()) + " records sent and echoed in " + seconds + " s");
    }
    if (outcome != upload::UploadOutcome::Completed)
        reporter.explainFailure();
    return exitStatusFor(outcome);
}

} // namespace vantor::cli
