#include "cli/ExitStatus.h"
#include "cli/InstalledDocs.h"
#include "cli/commands/CommandTable.h"
#include "cli/options/Completion.h"
#include "cli/options/Profile.h"
#include "cli/output/Usage.h"
#include "cli/terminal/Terminal.h"
#include "notices/ThirdParty.h"
#include "serial/PortKind.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

std::string usage()
{
    std::string text = "Usage: vantor COMMAND [OPTIONS] [ARGUMENTS]\n"
                       "Uploads compiled controller programs into a PLC over a serial line.\n"
                       "\n"
                       "Commands:\n";
    const auto line = [&text](const std::string& name, const std::string& summary) {
        text += "  " + name + std::string(10 - name.size(), ' ') + summary + "\n";
    };
    for (const vantor::cli::CommandSpec& command : vantor::cli::CommandTable::specs())
        line(command.name, command.summary);
    line("help", "show a command's options: vantor help COMMAND; vantor help profiles");
    return text +
           "\n"
#ifdef _WIN32
           "Ports: a COM port such as COM3, a serial server on the network\n"
#else
           "Ports: a device such as /dev/ttyUSB0, COM1..COM8, a serial server on the network\n"
#endif
           "(" +
           vantor::serial::PortKind::listed(", ", ", ", false) +
           "), or SIM for the built-in simulated PLC;\n"
           "--port PORT or the environment variable VANTOR_PORT names one.\n"
           "Options: -h, --help  this help; -V, --version  the version. " +
           vantor::cli::InstalledDocs::seeManual() + "\n";
}

int runCommand(int argc, char* argv[])
{
    // Arguments are bytes: file names and commands pass through as given, whatever the locale.
    std::vector<std::string> arguments = vantor::cli::Usage::arguments(argc, argv);
    if (arguments.size() < 2) {
        std::fprintf(stderr, "%s", usage().c_str());
        return vantor::cli::UsageError;
    }
    if (arguments[1] == "--help" || arguments[1] == "-h" || arguments[1] == "--help-all" ||
        (arguments[1] == "help" && arguments.size() == 2)) {
        std::printf("%s", usage().c_str());
        return vantor::cli::Success;
    }
    if (arguments[1] == "--complete") // what the shell completion asks; no help lists it
        return vantor::cli::Completion::run(arguments);
    if (arguments[1] == "--version" || arguments[1] == "-V") {
        std::printf("vantor %s\n", VANTOR_VERSION);
        if (arguments.size() > 2 && arguments[2] == "--verbose")
            std::printf("%s%s\n", vantor::notices::ThirdParty::listing("vantor").c_str(),
                        vantor::cli::InstalledDocs::noticesLine().c_str());
        return vantor::cli::Success;
    }
    if (arguments[1] == "help" && arguments.size() == 3 && arguments[2] == "profiles") {
        std::printf("%s", vantor::cli::Profile::helpText().c_str());
        return vantor::cli::Success;
    }
    if (arguments[1] == "help") { // vantor help COMMAND: that command's --help
        arguments.erase(arguments.begin() + 1);
        arguments.insert(arguments.begin() + std::min<std::size_t>(2, arguments.size()), "--help");
    }
    const std::string command = arguments[1];
    arguments.erase(arguments.begin() + 1);
    arguments[0] = "vantor " + command;
    if (const auto* known = vantor::cli::CommandTable::find(command))
        return known->run(arguments);
    vantor::cli::Usage::note("unknown command '" + command + "'");
    vantor::cli::Usage::line(stderr, "Try 'vantor --help'.");
    return vantor::cli::UsageError;
}

} // namespace

int main(int argc, char* argv[])
{
#ifdef _WIN32
    // Held while the tool runs: the Windows setup waits for it instead of replacing a running
    // program (packaging/windows/vantor.nsi).
    CreateMutexW(nullptr, FALSE, L"VantorProgramUploader");
#endif
    vantor::cli::Terminal::prepareStandardStreams();
    return vantor::cli::Usage::finish(runCommand(argc, argv));
}
