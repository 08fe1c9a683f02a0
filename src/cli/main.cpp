#include "cli/CheckCommand.h"
#include "cli/ExitStatus.h"
#include "cli/PlcSimCommand.h"
#include "cli/SendCommand.h"
#include "cli/UploadCommand.h"
#include "cli/Usage.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstring>

namespace {

const char* const usage =
    "Usage: vantor COMMAND [OPTIONS] [ARGUMENTS]\n"
    "Uploads compiled controller programs into a PLC over a serial line.\n"
    "\n"
    "Commands:\n"
    "  upload    upload a compiled program (.VQC) into the PLC\n"
    "  check     read a compiled program as an upload would, without a port\n"
    "  send      send command lines as typed and print the replies\n"
    "  plc-sim   serve a simulated PLC on a pseudo-terminal\n"
    "\n"
    "Ports: COM1..COM8, a device path such as /dev/ttyUSB0, or SIM for the built-in simulated PLC.\n"
    "Run 'vantor COMMAND --help' for a command's options.\n";

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("vantor");
    QCoreApplication::setApplicationVersion(VANTOR_VERSION);

    // Arguments are bytes: file names and commands pass through as given, whatever the locale.
    QStringList arguments = vantor::cli::Usage::arguments(argc, argv);
    if (arguments.size() < 2 || arguments[1] == "--help" || arguments[1] == "-h" || arguments[1] == "help") {
        std::printf("%s", usage);
        return arguments.size() < 2 ? vantor::cli::UsageError : vantor::cli::Success;
    }
    if (arguments[1] == "--version" || arguments[1] == "-v") {
        std::printf("vantor %s\n", VANTOR_VERSION);
        return vantor::cli::Success;
    }
    const QString command = arguments.takeAt(1);
    arguments[0] = "vantor " + command;
    if (command == "upload")
        return vantor::cli::UploadCommand::run(arguments);
    if (command == "check")
        return vantor::cli::CheckCommand::run(arguments);
    if (command == "send")
        return vantor::cli::SendCommand::run(arguments);
    if (command == "plc-sim")
        return vantor::cli::PlcSimCommand::run(arguments);
    std::fprintf(stderr, "vantor: unknown command '%s'\n%s", command.toLatin1().constData(), usage);
    return vantor::cli::UsageError;
}
