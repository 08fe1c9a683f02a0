#include "cli/SendCommand.h"

#include "cli/ExitStatus.h"
#include "cli/PortOptions.h"
#include "cli/Usage.h"
#include "console/SerialConsole.h"

#include <cstdio>

namespace vantor::cli {

int SendCommand::run(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Sends each COMMAND exactly as typed (no frame, no FCS added) and prints each reply, or\n"
        "\"(Warning: No Response from PLC)\". A command that begins with neither \"@\" nor \":\" is\n"
        "preceded by the ENQ handshake. Exit status 0 when every command got a response, 1 when one\n"
        "did not, 2 for a bad command line, 6 when the port cannot be opened, 10 when it is lost.");
    parser.addHelpOption();
    PortOptions port;
    port.addTo(parser);
    parser.addPositionalArgument("COMMAND", "A command line to send, e.g. '@01C230*' or RS.", "COMMAND...");

    if (const auto early = Usage::parse(parser, arguments))
        return *early;
    QString error;
    if (!port.read(parser, &error))
        return Usage::fail(parser, error);
    if (parser.positionalArguments().isEmpty())
        return Usage::fail(parser, "no COMMAND given");

    console::SerialConsole console;
    port.applyTo(console);
    console.setLogSink([](const std::string& line) { std::printf("%s\n", line.c_str()); });
    console.setErrorSink(
        [](const std::string& message) { std::fprintf(stderr, "vantor: %s\n", message.c_str()); });

    if (!console.openPort())
        return PortNotOpenable;
    int status = Success;
    for (const QString& command : parser.positionalArguments()) {
        const auto result = console.sendCommand(command.toLocal8Bit().toStdString());
        if (result.portFailed())
            return result.status == hostlink::ExchangeStatus::PortNotOpen ? PortNotOpenable : PortLost;
        if (result.hasResponse()) {
            std::printf("%s\n", result.response.c_str());
        } else {
            std::printf("(Warning: No Response from PLC)\n");
            status = NoResponse;
        }
        std::fflush(stdout);
    }
    return status;
}

} // namespace vantor::cli
