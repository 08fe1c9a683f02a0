#pragma once

#include "console/PortSettings.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <string>

namespace vantor::console {
class SerialConsole;
}

namespace vantor::cli {

// The port options that every command talking to a PLC takes, with the console's defaults:
// --port (required, or VANTOR_PORT) --baud 38400 --data-bits 8 --parity none --stop-bits 1
// --timeout 500 and --trace.
class PortOptions
{
public:
    void addTo(QCommandLineParser& parser);
    // Reads the options after parsing; false with a message in *error for a bad value.
    bool read(const QCommandLineParser& parser, QString* error);
    // Applies port name, settings and timeout, and the trace when asked for.
    void applyTo(console::SerialConsole& console) const;

    std::string portName;
    console::PortSettings settings;
    std::string timeoutText = console::PortSettings::defaultTimeoutText;
    bool trace = false;

private:
    QList<QCommandLineOption> options_;
};

} // namespace vantor::cli
