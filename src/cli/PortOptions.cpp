#include "cli/PortOptions.h"

#include "cli/TracePrinter.h"
#include "cli/Usage.h"
#include "console/SerialConsole.h"

#include <cstdlib>
#include <memory>

namespace vantor::cli {

void PortOptions::addTo(QCommandLineParser& parser)
{
    options_ = {
        {{"p", "port"},
         "Serial port: a device such as /dev/ttyUSB0, COM1..COM8 (/dev/ttyS0..7 here), or SIM for the "
         "built-in simulated PLC. Required, unless VANTOR_PORT is set; 'vantor ports' lists them.",
         "PORT"},
        {{"b", "baud"}, "Baud rate (default 38400).", "N", "38400"},
        {"data-bits", "Data bits: 7 or 8 (default 8).", "7|8", "8"},
        {"parity", "Parity: none, even or odd (default none).", "none|even|odd", "none"},
        {"stop-bits", "Stop bits: 1 or 2 (default 1).", "1|2", "1"},
        {{"t", "timeout"},
         "How long to wait for each answer, in milliseconds (default 500; a fraction is rounded). 0 "
         "means 1000 ms for the ENQ handshake and 500 ms for a response.",
         "MS",
         "500 "},
        {"trace", "Write every byte sent and received to standard error, with times in milliseconds."},
    };
    parser.addOptions(options_);
}

bool PortOptions::read(const QCommandLineParser& parser, QString* error)
{
    if (parser.isSet("port"))
        portName = Usage::bytes(parser.value("port"));
    else if (const char* fromEnvironment = std::getenv("VANTOR_PORT"))
        portName = fromEnvironment;
    else
        portName.clear();
    if (portName.empty()) {
        *error = "no port given: name one with --port PORT (or set VANTOR_PORT); 'vantor ports' lists them";
        return false;
    }
    bool ok = false;
    const int baud = parser.value("baud").toInt(&ok);
    if (!ok || baud <= 0) {
        *error = "--baud must be a positive whole number, such as 9600 or 38400";
        return false;
    }
    settings.baudRate = baud;
    const QString dataBits = parser.value("data-bits");
    if (dataBits != "7" && dataBits != "8") {
        *error = "--data-bits must be 7 or 8";
        return false;
    }
    settings.dataBits = dataBits.toInt();
    const QString parity = parser.value("parity").toLower();
    if (parity == "none" || parity == "n")
        settings.parity = 'N';
    else if (parity == "even" || parity == "e")
        settings.parity = 'E';
    else if (parity == "odd" || parity == "o")
        settings.parity = 'O';
    else {
        *error = "--parity must be none, even or odd";
        return false;
    }
    const QString stopBits = parser.value("stop-bits");
    if (stopBits != "1" && stopBits != "2") {
        *error = "--stop-bits must be 1 or 2";
        return false;
    }
    settings.stopBits = stopBits.toInt();
    if (!Usage::strictTimeout(parser.value("timeout"), error))
        return false;
    timeoutText = Usage::bytes(parser.value("timeout"));
    trace = parser.isSet("trace");
    return true;
}

void PortOptions::applyTo(console::SerialConsole& console) const
{
    console.setPortName(portName);
    console.setSettings(settings);
    console.setTimeoutText(timeoutText);
    if (trace) {
        auto printer = std::make_shared<TracePrinter>(stderr);
        console.exchange().setTraceSink(
            [printer](hostlink::TraceDirection direction, const std::string& bytes) {
                printer->print(direction, bytes);
            });
    }
}

} // namespace vantor::cli
