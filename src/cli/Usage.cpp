#include "cli/Usage.h"

#include "cli/ExitStatus.h"

#include <QCoreApplication>

#include <cstdio>

namespace vantor::cli {

std::optional<int> Usage::parse(QCommandLineParser& parser, const QStringList& arguments)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    if (!parser.parse(arguments))
        return fail(parser, parser.errorText());
    if (parser.isSet("help")) {
        // The parser names the executable's path; users know the command by "vantor <command>".
        QString help = parser.helpText();
        help.replace("Usage: " + QCoreApplication::arguments().constFirst(),
                     "Usage: " + arguments.constFirst());
        std::printf("%s", help.toLocal8Bit().constData());
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
