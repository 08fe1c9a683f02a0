#include "cli/CheckCommand.h"
#include "cli/ExitStatus.h"
#include "cli/PlcSimCommand.h"
#include "cli/PortsCommand.h"
#include "cli/SendCommand.h"
#include "cli/Terminal.h"
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
    "  ports     list the serial ports\n"
    "  plc-sim   serve a simulated PLC on a pseudo-terminal\n"
    "  help      show a command's options: vantor help COMMAND\n"
    "\n"
    "Ports: a device such as /dev/ttyUSB0, COM1..COM8, or SIM for the built-in simulated PLC;\n"
    "--port PORT or the environment variable VANTOR_PORT names one.\n"
    "Options: -h, --help  this help; -V, --version  the version. See vantor(1).\n";

// Qt's own warnings (a missing XDG_RUNTIME_DIR, a platform detail) are no business of the user's;
// VANTOR_DEBUG=1 shows them.
void quietQt(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtFatalMsg || qEnvironmentVariableIsSet("VANTOR_DEBUG"))
        std::fprintf(stderr, "vantor: qt: %s\n", message.toLocal8Bit().constData());
}

int runCommand(int argc, char* argv[])
{
    qInstallMessageHandler(quietQt);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("vantor");
    QCoreApplication::setApplicationVersion(VANTOR_VERSION);

    // Arguments are bytes: file names and commands pass through as given, whatever the locale.
    QStringList arguments = vantor::cli::Usage::arguments(argc, argv);
    if (arguments.size() < 2) {
        std::fprintf(stderr, "%s", usage);
        return vantor::cli::UsageError;
    }
    if (arguments[1] == "--help" || arguments[1] == "-h" || arguments[1] == "--help-all" ||
        (arguments[1] == "help" && arguments.size() == 2)) {
        std::printf("%s", usage);
        return vantor::cli::Success;
    }
    if (arguments[1] == "--version" || arguments[1] == "-V") {
        std::printf("vantor %s\n", VANTOR_VERSION);
        return vantor::cli::Success;
    }
    if (arguments[1] == "help") { // vantor help COMMAND: that command's --help
        arguments.removeAt(1);
        arguments.insert(2, "--help");
    }
    const QString command = arguments.takeAt(1);
    arguments[0] = "vantor " + command;
    if (command == "upload")
        return vantor::cli::UploadCommand::run(arguments);
    if (command == "check")
        return vantor::cli::CheckCommand::run(arguments);
    if (command == "send")
        return vantor::cli::SendCommand::run(arguments);
    if (command == "ports")
        return vantor::cli::PortsCommand::run(arguments);
    if (command == "plc-sim")
        return vantor::cli::PlcSimCommand::run(arguments);
    std::fprintf(stderr, "vantor: unknown command '%s'\nTry 'vantor --help'.\n",
                 command.toLatin1().constData());
    return vantor::cli::UsageError;
}

} // namespace

int main(int argc, char* argv[])
{
    vantor::cli::Terminal::prepareStandardStreams();
    return vantor::cli::Usage::finish(runCommand(argc, argv));
}
