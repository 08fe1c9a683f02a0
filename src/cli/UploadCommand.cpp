#include "cli/UploadCommand.h"

#include "cli/ExitStatus.h"
#include "cli/PortOptions.h"
#include "cli/ProgressBar.h"
#include "cli/StopSignals.h"
#include "cli/Usage.h"
#include "console/SerialConsole.h"
#include "upload/UploadProcedure.h"

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace vantor::cli {

namespace {

// Captions to standard output, record progress to a bar on standard error when it is a terminal.
class CommandLineReporter : public upload::UploadReporter
{
public:
    explicit CommandLineReporter(bool showProgress)
    {
        if (showProgress)
            bar_ = std::make_unique<ProgressBar>(stderr);
    }
    void showCaption(const std::string& caption) override
    {
        if (bar_)
            bar_->finish();
        std::printf("%s\n", caption.c_str());
        std::fflush(stdout);
    }
    void repaint() override {}
    void recordSent(std::int64_t lineNumber, std::int64_t total, const std::string&) override
    {
        if (bar_)
            bar_->update(lineNumber, total);
    }

private:
    std::unique_ptr<ProgressBar> bar_;
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

int UploadCommand::run(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Uploads FILE, a compiled program (.VQC), into the PLC: link test, one frame per record,\n"
        "save to EEPROM, then C1 (with CL around it when --reset is given). Prints the status\n"
        "captions; the last line is the final one. See the README for the exit statuses.");
    parser.addHelpOption();
    PortOptions port;
    port.addTo(parser);
    parser.addOptions({
        {"id", "The PLC ID as typed in the PLC ID box, hex 00-FF (default 01).", "TEXT", "01"},
        {"reset", "Reset the PLC after the upload."},
    });
    parser.addPositionalArgument("FILE", "The compiled program to upload.");
    if (const auto early = Usage::parse(parser, arguments))
        return *early;
    QString error;
    if (!port.read(parser, &error))
        return Usage::fail(parser, error);
    if (parser.positionalArguments().size() != 1)
        return Usage::fail(parser, "upload takes exactly one FILE");

    console::SerialConsole console;
    port.applyTo(console);
    // The opening line goes where the console would log it; on the command line that is standard
    // error, so standard output keeps to the panel's captions.
    console.setLogSink([](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });

    CommandLineReporter reporter(::isatty(STDERR_FILENO) == 1);
    // Port failures reach the user through the final caption, which names the port and the cause.
    console.setErrorSink([](const std::string&) {});
    upload::UploadProcedure procedure({console.exchange(), [&console] { return console.lastPortProblem(); }},
                                      reporter);

    const std::string idText = Usage::bytes(parser.value("id"));
    const bool reset = parser.isSet("reset");
    StopSignals::install();
    const auto outcome =
        procedure.run({Usage::bytes(parser.positionalArguments().front()), [&idText] { return idText; },
                       [reset] { return reset; }, [] { return StopSignals::requested(); }});
    return exitStatusFor(outcome);
}

} // namespace vantor::cli
