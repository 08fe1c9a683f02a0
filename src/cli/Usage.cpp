#include "cli/Usage.h"

#include "cli/ExitStatus.h"

#include <cstdio>

namespace vantor::cli {

std::optional<int> Usage::parse(QCommandLineParser& parser, const QStringList& arguments)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    if (!parser.parse(arguments))
        return fail(parser, parser.errorText());
    if (parser.isSet("help")) {
        std::printf("%s", parser.helpText().toLocal8Bit().constData());
        return Success;
    }
    return std::nullopt;
}

int Usage::fail(const QCommandLineParser&, const QString& message)
{
    std::fprintf(stderr, "vantor: %s\nTry 'vantor --help' or 'vantor COMMAND --help'.\n",
                 message.toLocal8Bit().constData());
    return UsageError;
}

} // namespace vantor::cli
