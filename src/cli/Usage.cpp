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
        std::printf("%s", help.toLatin1().constData());
        return Success;
    }
    return std::nullopt;
}

QStringList Usage::arguments(int argc, char* argv[])
{
    QStringList list;
    for (int i = 0; i < argc; ++i)
        list << QString::fromLatin1(argv[i]);
    return list;
}

int Usage::fail(const QCommandLineParser&, const QString& message)
{
    std::fprintf(stderr, "vantor: %s\nTry 'vantor --help' or 'vantor COMMAND --help'.\n",
                 message.toLatin1().constData());
    return UsageError;
}

} // namespace vantor::cli
