#include "cli/output/Usage.h"

#include "cli/ExitStatus.h"
#include "hostlink/ControlText.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace vantor::cli {

std::optional<int> Usage::parse(CommandLine& parser, const std::vector<std::string>& arguments)
{
    const bool parsed = parser.parse(arguments);
    // Help and version win over everything else on the line (up to "--"), a wrong option included.
    const auto options =
        std::vector<std::string>(arguments.begin(), std::find(arguments.begin(), arguments.end(), "--"));
    const auto given = [&options](const char* option) {
        return std::find(options.begin() + (options.empty() ? 0 : 1), options.end(), option) != options.end();
    };
    if (given("--version") || given("-V") || given("-version")) {
        std::printf("vantor %s\n", VANTOR_VERSION);
        return Success;
    }
    bool wantsHelp = false;
    for (const char* ask : {"--help", "-h", "--help-all", "-help", "-help-all"})
        wantsHelp = wantsHelp || given(ask);
    if (wantsHelp) {
        std::printf("%s", parser.helpText().c_str());
        return Success;
    }
    if (!parsed)
        return fail(parser.errorText());
    return std::nullopt;
}

std::vector<std::string> Usage::arguments(int argc, char* argv[])
{
    return std::vector<std::string>(argv, argv + argc);
}

int Usage::fail(const std::string& message)
{
    std::fprintf(stderr, "vantor: %s\nTry 'vantor --help' or 'vantor help COMMAND'.\n",
                 hostlink::ControlText::escapeControls(message).c_str());
    return UsageError;
}

void Usage::note(const std::string& message)
{
    if (!std::ferror(stdout))
        std::fflush(stdout);
    line(stderr, "vantor: " + message);
}

void Usage::line(std::FILE* stream, const std::string& text)
{
    if (std::ferror(stream))
        return;
    std::fprintf(stream, "%s\n", hostlink::ControlText::escapeControls(text).c_str());
    std::fflush(stream);
}

int Usage::finish(int status)
{
    const bool outFailed = std::fflush(stdout) != 0 || std::ferror(stdout);
    const bool errFailed = std::fflush(stderr) != 0 || std::ferror(stderr);
    if (outFailed && !errFailed)
        note("standard output could not be written (closed early, or the disk is full); the command ran to "
             "its end regardless");
    if ((outFailed || errFailed) && status == Success)
        return OutputFailed;
    return status;
}

std::string Usage::remedy(upload::UploadReporter::Remedy which, int value)
{
    using Remedy = upload::UploadReporter::Remedy;
    switch (which) {
    case Remedy::Scan:
        return "vantor scan";
    case Remedy::Attempts:
        return "--attempts " + std::to_string(value);
    case Remedy::Timeout:
        return "--timeout " + std::to_string(value);
    }
    return {};
}

} // namespace vantor::cli
