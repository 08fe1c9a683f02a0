#pragma once

#include <QCommandLineParser>
#include <QStringList>
#include <optional>
#include <string>

namespace vantor::cli {

// Parsing shared by the subcommands: --help, and usage errors with exit status 2.
class Usage
{
public:
    // Parses; returns an exit status when the command is done already (help shown, or an error).
    static std::optional<int> parse(QCommandLineParser& parser, const QStringList& arguments);
    // Prints "vantor: <message>" and a pointer to --help; returns the usage error status.
    static int fail(const QCommandLineParser& parser, const QString& message);

    // The command line as the parser sees it: each byte one character (Latin-1), so that bytes()
    // gives back exactly what was typed, whatever the locale or encoding.
    static QStringList arguments(int argc, char* argv[]);
    static std::string bytes(const QString& argument) { return argument.toLatin1().toStdString(); }
};

} // namespace vantor::cli
