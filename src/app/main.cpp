#include "app/ConsoleOutput.h"
#include "app/FileChooser.h"
#include "app/LicensesDialog.h"
#include "app/UploaderPanel.h"
#include "console/StopSignals.h"
#include "notices/ThirdParty.h"
#include "run/RunRecord.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QShortcut>
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
    parser.addOptions({
        {{"h", "help", "?"}, "Show this help: the program's own options, and exit."},
        {"help-all", "Show this help and the options Qt reads itself (-platform, -style, ...), and exit."},
        {{"v", "version"}, "Print the version and exit."},
        {"licenses",
         "Print what the program holds of others' work (each component, version, licence) and exit; F1 in "
         "its windows shows the same with the licences in full."},
        {"port",
         "Add DEVICE (e.g. /dev/ttyUSB0, or SIM for the simulated PLC) to the port lists and select it.",
         "DEVICE"},
        {"record",
         "Append each upload's result as a JSON line to FILE, as vantor upload --record does (also "
         "VANTOR_RECORD).",
         "FILE"},
        {"tag",
         "Add KEY=VALUE (a work order, a cabinet, a unit's serial number) to each upload's result line in "
         "the record, as vantor upload --tag does; give it once per tag. KEY: letters, digits, _ and -.",
         "KEY=VALUE"},
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
        if (a == "-h" || a == "--help" || a == "-?" || a == "--help-all" || a == "-v" || a == "--version" ||
            a == "-V" || a == "--licenses")
            return true;
    }
    return false;
}

// What --help-all adds: the options QGuiApplication takes from any Qt program's command line. Kept
// here because Qt's own list cannot serve: QCommandLineParser prints it only from addHelpOption's
// --help-all, whose -h and --help-all descriptions are Qt's and cannot be given ours, and only with a
// QApplication made, so help would need a display; made without one it lists -qmljsdebugger alone,
// and with one it still leaves out -style and -display, which QApplication and xcb read.
const char* const qtOptions =
    "\nOptions Qt reads itself:\n"
    "  -platform NAME[:OPTIONS]   The windowing platform (xcb, wayland, offscreen, windows).\n"
    "  -platformpluginpath PATH   Where to look for platform plugins.\n"
    "  -platformtheme NAME        The platform theme.\n"
    "  -plugin NAME               An input plugin to load.\n"
    "  -style NAME                The widget style (e.g. Fusion, windowsvista).\n"
    "  -qwindowgeometry GEOMETRY  The first window's size and place (WxH+X+Y).\n"
    "  -qwindowtitle TITLE        The first window's title.\n"
    "  -qwindowicon FILE          The windows' icon.\n"
    "  -reverse                   Lay the windows out right to left.\n"
    "  -session ID                Restore an earlier session.\n"
    "  -display NAME              The X11 display (xcb only).\n";

// What the help and version options print: help as the parser words it, the version, or the list
// of the components the program holds.
std::string answerText(const QCommandLineParser& parser)
{
    if (parser.isSet("licenses"))
        return "vantor-uploader " VANTOR_VERSION "\n" +
               vantor::notices::ThirdParty::listing("vantor-uploader") +
               "The licences in full: F1 in the program's windows.\n";
    if (parser.isSet("version") || parser.isSet("V"))
        return "vantor-uploader " VANTOR_VERSION "\n";
    std::string text = parser.helpText().toStdString();
    return parser.isSet("help-all") ? text + qtOptions : text;
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
    if (!parser.parse(core.arguments())) {
        const QString error = parser.errorText();
#ifdef Q_OS_WIN
        // Qt answers a Windows program with windows in a message box unless a console window is its
        // own, so output a script redirects would get the box too: with somewhere to print, it is printed.
        if (!toConsole) {
            QMessageBox::critical(nullptr, "Vantor Program Uploader", error);
            return 1;
        }
#endif
        std::fprintf(stderr, "vantor-uploader: %s\n", qPrintable(error));
        return 1;
    }
    const std::string text = answerText(parser);
#ifdef Q_OS_WIN
    if (!toConsole) {
        QApplication app(argc, argv);
        QMessageBox::information(nullptr, "Vantor Program Uploader", QString::fromStdString(text));
        return 0;
    }
#endif
    std::fputs(text.c_str(), stdout);
    return 0;
}

// Says why the program will not start: on standard error, and in a message box on Windows. False.
bool refuse(const std::string& error)
{
    std::fprintf(stderr, "vantor-uploader: %s\n", error.c_str());
#ifdef Q_OS_WIN
    QMessageBox::critical(nullptr, "Vantor Program Uploader", QString::fromStdString(error));
#endif
    return false;
}

// Appends each upload to the record that --record or VANTOR_RECORD names, if any. False, said
// (refuse), when that record is refused.
bool keepRecord(vantor::app::UploaderPanel& panel, const QCommandLineParser& parser)
{
    const std::string record = vantor::run::RunRecord::chosenPath(
        parser.isSet("record") ? std::optional<std::string>(parser.value("record").toStdString())
                               : std::nullopt);
    std::string error;
    return record.empty() || panel.keepRecord(record, &error) || refuse(error);
}

// Gives each upload's result line the --tag values. False, said (refuse), for a tag that is not
// KEY=VALUE with a valid key.
bool stampRecords(vantor::app::UploaderPanel& panel, const QCommandLineParser& parser)
{
    vantor::record::RecordStamp stamp;
    for (const QString& tag : parser.values("tag")) {
        if (const auto added = stamp.addTag(tag.toStdString()); !added.ok())
            return refuse("--tag " + added.message);
    }
    panel.setRecordStamp(stamp);
    return true;
}

// F1 in any of the program's windows (the panel and the console window alike) shows what it holds of
// others' work, without a button or menu that would change the panel's layout.
void offerLicences(vantor::app::UploaderPanel& panel)
{
    auto* licences = new QShortcut(QKeySequence::HelpContents, &panel);
    licences->setContext(Qt::ApplicationShortcut);
    QObject::connect(licences, &QShortcut::activated, &panel, [&panel] {
        vantor::app::LicensesDialog::showFor(QApplication::activeWindow() ? QApplication::activeWindow()
                                                                          : &panel);
    });
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
    // Before any window: the record is part of the job, and an upload must not go unrecorded.
    if (!stampRecords(panel, parser) || !keepRecord(panel, parser))
        return 2;
    if (!parser.positionalArguments().isEmpty())
        panel.selectFile(parser.positionalArguments().front());
    panel.show();
    offerLicences(panel);
    // A stop signal closes the panel, which stops an upload at its next safe point and releases the port.
    vantor::console::StopSignals::install();
    const int status = app.exec();
    return vantor::console::StopSignals::requested() ? vantor::console::StopSignals::exitStatus() : status;
}
