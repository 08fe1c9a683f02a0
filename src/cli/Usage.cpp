#include "cli/Usage.h"

#include "cli/ExitStatus.h"
#include "hostlink/ControlText.h"
#include "hostlink/PlcId.h"
#include "hostlink/TimeoutText.h"

#include <QCoreApplication>

#include <cctype>
#include <cstdio>

namespace vantor::cli {

void Usage::addStandardOptions(QCommandLineParser& parser)
{
    parser.addHelpOption();
    parser.addOption({{"V", "version"}, "Print the version and exit."});
}

std::optional<int> Usage::parse(QCommandLineParser& parser, const QStringList& arguments)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const bool parsed = parser.parse(arguments);
    // Help and version win over everything else on the line (up to "--"), a wrong option included.
    const QStringList options = arguments.mid(0, arguments.indexOf("--"));
    if (options.contains("--version") || options.contains("-V") || (parsed && parser.isSet("version"))) {
        std::printf("vantor %s\n", QCoreApplication::applicationVersion().toLatin1().constData());
        return Success;
    }
    bool wantsHelp = false;
    for (const char* ask : {"--help", "-h", "--help-all", "-help", "-help-all"})
        wantsHelp = wantsHelp || options.contains(ask);
    if (!parsed && !wantsHelp)
        return fail(parser, parser.errorText());
    if (wantsHelp) {
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
    // Qt's parser writes "Unknown option 'x'."; keep to one style: lower case, no full stop.
    QString text = message.trimmed();
    if (text.startsWith("Unknown ") || text.startsWith("Missing ") || text.startsWith("Unexpected "))
        text[0] = text[0].toLower();
    if (text.endsWith('.'))
        text.chop(1);
    std::fprintf(stderr, "vantor: %s\nTry 'vantor --help' or 'vantor help COMMAND'.\n",
                 hostlink::ControlText::escapeControls(text.toLatin1().toStdString()).c_str());
    return UsageError;
}

void Usage::note(const std::string& message)
{
    if (!std::ferror(stdout))
        std::fflush(stdout);
    line(stderr, "vantor: " + message);
}

void Usage::line(std::FILE* stream, const std::string& text)
{
    if (std::ferror(stream))
        return;
    std::fprintf(stream, "%s\n", hostlink::ControlText::escapeControls(text).c_str());
    std::fflush(stream);
}

int Usage::finish(int status)
{
    const bool outFailed = std::fflush(stdout) != 0 || std::ferror(stdout);
    const bool errFailed = std::fflush(stderr) != 0 || std::ferror(stderr);
    if (outFailed && !errFailed)
        note("standard output could not be written (closed early, or the disk is full); the command ran to "
             "its end regardless");
    if ((outFailed || errFailed) && status == Success)
        return OutputFailed;
    return status;
}

bool Usage::strictId(const QString& text, std::int16_t* id, QString* error)
{
    const auto parsed = hostlink::PlcId::fromDigits(bytes(text.trimmed()));
    if (!parsed.ok) {
        *error =
            "--id must be the PLC's ID in hexadecimal, 1 to 4 digits such as 01 or 1F (got '" + text + "')";
        return false;
    }
    *id = parsed.id;
    return true;
}

bool Usage::strictTimeout(const QString& text, QString* error)
{
    if (hostlink::TimeoutText::parseMs(bytes(text)))
        return true;
    *error =
        "--timeout must be a number of milliseconds such as 500; 0 means the defaults (got '" + text + "')";
    return false;
}

} // namespace vantor::cli
