#pragma once

#include <QCommandLineParser>
#include <QStringList>
#include <optional>

namespace vantor::cli {

// Parsing shared by the subcommands: --help, and usage errors with exit status 2.
class Usage
{
public:
    // Parses; returns an exit status when the command is done already (help shown, or an error).
    static std::optional<int> parse(QCommandLineParser& parser, const QStringList& arguments);
    // Prints "vantor: <message>" and a pointer to --help; returns the usage error status.
    static int fail(const QCommandLineParser& parser, const QString& message);
};

} // namespace vantor::cli
