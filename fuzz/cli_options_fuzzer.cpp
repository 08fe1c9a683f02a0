// The command line's option parsing (0x00 separates arguments): any argument list is either taken,
// with every port setting in its range, or refused with a message; nothing is opened or sent.
#include "FuzzInput.h"
#include "cli/PortOptions.h"
#include "cli/Usage.h"

#include <QCommandLineParser>

using namespace vantor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QStringList arguments{"vantor upload"};
    for (const auto& a : fuzz::pieces(data, size, '\0'))
        arguments << QString::fromLatin1(a.data(), static_cast<qsizetype>(a.size()));
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    cli::PortOptions port;
    port.addTo(parser);
    parser.addOptions({{"id", "", "TEXT", "01"}, {"reset", ""}});
    if (!parser.parse(arguments))
        return 0;
    QString error;
    if (!port.read(parser, &error)) {
        FUZZ_CHECK(!error.isEmpty());
        return 0;
    }
    FUZZ_CHECK(!port.portName.empty() && port.settings.baudRate > 0);
    FUZZ_CHECK(port.settings.dataBits == 7 || port.settings.dataBits == 8);
    FUZZ_CHECK(port.settings.stopBits == 1 || port.settings.stopBits == 2);
    for (const auto& a : fuzz::pieces(data, size, '\0'))
        FUZZ_CHECK(cli::Usage::bytes(QString::fromLatin1(a.data(), static_cast<qsizetype>(a.size()))) == a);
    return 0;
}
