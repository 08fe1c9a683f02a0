#include "app/ConsoleOutput.h"
#include "app/FileChooser.h"
#include "app/UploaderPanel.h"
#include "console/StopSignals.h"
#include "run/RunRecord.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <csignal>
#include <cstdio>
#include <optional>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

void describeOptions(QCommandLineParser& parser)
{
    parser.setApplicationDescription("Uploads compiled controller programs into a PLC over a serial line.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {"port",
         "Add DEVICE (e.g. /dev/ttyUSB0, or SIM for the simulated PLC) to the port lists and select it.",
         "DEVICE"},
        {"record",
         "Append each upload's result as a JSON line to FILE, as vantor upload --record does (also "
         "VANTOR_RECORD).",
         "FILE"},
    });
    parser.addPositionalArgument(
        "FILE", "The compiled program (.VQC) to show in the file box, ready to upload.", "[FILE]");
}

// Help and version need no display: they are answered before the windowing system is touched, so
// they work over ssh and in scripts (on Windows in the console the program was started from).
bool asksForHelpOrVersion(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--")
            break;
        if (a == "-h" || a == "--help" || a == "--help-all" || a == "-v" || a == "--version" || a == "-V")
            return true;
    }
    return false;
}

int answerHelpOrVersion(int argc, char* argv[])
{
    [[maybe_unused]] const bool toConsole = vantor::app::ConsoleOutput::reachParentConsole();
    QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationName("vantor-uploader");
    QCoreApplication::setApplicationVersion(VANTOR_VERSION);
    QCommandLineParser parser;
    describeOptions(parser);
    parser.addOption({"V", "Print the version and exit (as -v)."});
#ifdef Q_OS_WIN
    // Qt answers a Windows program with windows in a message box unless a console window is its own,
    // so output a script redirects would get the box too: with somewhere to print, it is printed.
    if (toConsole) {
        if (!parser.parse(core.arguments())) {
            std::fprintf(stderr, "%s\n", qPrintable(parser.errorText()));
            return 1;
        }
        if (parser.isSet("version") || parser.isSet("V"))
            std::printf("vantor-uploader %s\n", VANTOR_VERSION);
        else
            std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
#endif
    parser.process(core); // answers help and -v/--version, and exits
    std::printf("vantor-uploader %s\n", VANTOR_VERSION);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (asksForHelpOrVersion(argc, argv))
        return answerHelpOrVersion(argc, argv);

#ifdef Q_OS_WIN
    // Held while the program runs: the Windows setup waits for it instead of replacing a running
    // program (packaging/windows/vantor.nsi).
    CreateMutexW(nullptr, FALSE, L"VantorProgramUploader");
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName("vantor-uploader");
    QApplication::setApplicationVersion(VANTOR_VERSION);
    QApplication::setWindowIcon(QIcon::fromTheme("vantor-uploader"));

    QCommandLineParser parser;
    describeOptions(parser);
    parser.process(app);

#ifndef Q_OS_WIN
    // A file size limit reached by the record file is a failed write, said under the upload's caption,
    // not the end of the program.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    vantor::app::UploaderPanel panel(nullptr, parser.value("port"));
    const std::string record = vantor::run::RunRecord::chosenPath(
        parser.isSet("record") ? std::optional<std::string>(parser.value("record").toStdString())
                               : std::nullopt);
    std::string error;
    if (!record.empty() && !panel.keepRecord(record, &error)) {
        // Before any window: the record is part of the job, and an upload must not go unrecorded.
        std::fprintf(stderr, "vantor-uploader: %s\n", error.c_str());
#ifdef Q_OS_WIN
        QMessageBox::critical(nullptr, "Vantor Program Uploader", QString::fromStdString(error));
#endif
        return 2;
    }
    if (!parser.positionalArguments().isEmpty())
        panel.selectFile(parser.positionalArguments().front());
    panel.show();
    // A stop signal closes the panel, which stops an upload at its next safe point and releases the port.
    vantor::console::StopSignals::install();
    const int status = app.exec();
    return vantor::console::StopSignals::requested() ? vantor::console::StopSignals::exitStatus() : status;
}
